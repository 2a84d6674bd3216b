#include "LayerTip.h"

#include "LabelEncoding.h"

#include <QStringList>

QString layerTip(const Corpus &corpus, Corpus::Position p)
{
    if (!corpus.annotated() || p >= corpus.end() || corpus.tokenId(p) == Corpus::noToken)
        return {};
    const LabelEncoding encoding = labelEncoding(corpus.options());
    QStringList parts;
    for (std::size_t layer = 0; layer < corpus.layerCount(); ++layer) {
        parts.push_back(labelString(corpus.layerName(layer), encoding) + QStringLiteral(": ")
                        + labelString(corpus.layerText(layer, corpus.layerId(layer, p)), encoding));
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}
