#pragma once

#include <QString>

#include <utility>
#include <variant>

// A user action that a window's data class refuses: the message the window
// shows and the object name of the control that then gets the focus (the
// names the windows give their controls, such as "edDaudzums").
struct Refusal
{
    QString message;
    QString field;
    QString notice = {}; // shown before the message when not empty (a look-up's own word)
};

// An action that has no result beyond having been done.
struct Done
{
};

// What a data class answers to one user action: a refusal, or its result.
// Errors the user cannot correct in a field (the server, the connection)
// are thrown instead.
//
//     Outcome<qint32> SaveHeader(...);
//     const Outcome<qint32> saved = data.SaveHeader(...);
//     if (saved.refused())
//         return refuse(saved.refusal()); // message, then focus
//     open(saved.result());
template <typename Result = Done> class Outcome final
{
public:
    Outcome(Result result) : m_value(std::move(result)) {}
    Outcome(Refusal refusal) : m_value(std::move(refusal)) {}

    static Outcome refuse(const QString& message, const QString& field)
    {
        return Outcome(Refusal{message, field});
    }

    bool refused() const { return std::holds_alternative<Refusal>(m_value); }
    const Refusal& refusal() const { return std::get<Refusal>(m_value); }
    const Result& result() const { return std::get<Result>(m_value); }

private:
    std::variant<Result, Refusal> m_value;
};
