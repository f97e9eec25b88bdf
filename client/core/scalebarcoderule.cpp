#include "client/core/scalebarcoderule.h"

#include "client/core/clientformat.h"

#include <cmath>

namespace {

// A 1-based substring that is clipped rather than failing: a start past the
// end gives empty text, a length past the end is cut.
QString copyClipped(const QString& text, int start, int length)
{
    if (start < 1 || length <= 0 || start > text.size())
        return QString();
    return text.mid(start - 1, length);
}

} // namespace

bool ScaleBarcodeRule::Applies(const ClientState& state, const QString& code)
{
    return !state.ScalePrefix.isEmpty() && state.DekArtSak > 0 && state.DekArtGar > 0 &&
           code.startsWith(state.ScalePrefix, Qt::CaseSensitive);
}

bool ScaleBarcodeRule::Apply(const ClientState& state, QString& article, QString* quantity)
{
    const QString code = article;
    if (!Applies(state, code))
        return false;
    // The quantity is cut from the whole code before the article replaces it.
    if (quantity && state.DekDaudzSak > 0 && state.DekDaudzGar > 0)
        *quantity = copyClipped(code, state.DekDaudzSak, state.DekDaudzGar);
    article = copyClipped(code, state.DekArtSak, state.DekArtGar);
    if (quantity && state.DekDecimalz > 0) {
        // Whatever the field holds is scaled, also a quantity typed before
        // the scan; text that is no number counts as 0, as typed numbers do.
        const double value = ClientFormat::textToDouble(*quantity);
        *quantity = ClientFormat::formatFloat(QStringLiteral("0.000"),
                                              value / std::pow(10.0, state.DekDecimalz));
    }
    return true;
}
