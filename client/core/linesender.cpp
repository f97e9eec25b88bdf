#include "client/core/linesender.h"

#include "client/core/commonprocedures.h"
#include "client/core/documentlines.h"
#include "client/core/linequeue.h"
#include "client/core/owndataset.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"
#include "common/remoteerror.h"

#include <QCborValue>

namespace {

// What a stored line's answer keeps: the key of the line.
QByteArray outcomeOf(qint32 lineIsn)
{
    return QCborValue(lineIsn).toCbor();
}

} // namespace

LineSender::Round LineSender::SendWaiting(int count)
{
    Round round;
    OwnDataSet update(m_module, m_module.cdsUpdate());
    for (; count > 0; --count) {
        const std::optional<QueuedLine> line = m_queue.nextToSend();
        if (!line)
            break;
        const QueuedUnit unit = DecodeUnit(line->unit);
        try {
            PrepareDataset(*update);
        } catch (const std::exception&) {
            round.unreachable = true; // nothing went out
            break;
        }
        m_queue.markSending(line->identity);
        try {
            UnitOfWork::runBuilt(*update, unit.commandText, unit.params);
        } catch (const RemoteError& error) {
            if (error.kind() == RemoteError::Kind::Transport) {
                round.unreachable = true;
                break;
            }
            m_queue.markRefused(line->identity, DocumentLines::SaveFailed + error.message());
            ++round.refused;
            continue;
        }
        if (UnitOfWork::ranBefore(*update)) {
            m_queue.markDone(line->identity, outcomeOf(UnitOfWork::earlierKey(*update)));
        } else if (const std::optional<Refusal> refusal = DocumentLines::SaveRefusal(*update)) {
            m_queue.markRefused(line->identity, refusal->message);
            ++round.refused;
            continue;
        } else {
            m_queue.markDone(line->identity,
                             outcomeOf(update->fieldByName(QStringLiteral("L")).asInteger()));
        }
        ++round.stored;
    }
    return round;
}
