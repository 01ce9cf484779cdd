#include "editor/view/ViewClipboard.h"

#include <QMimeData>

namespace {

// Other programs on this platform end lines with LF alone, some with CR alone;
// every one of their line ends becomes the CR LF that joins our lines.
std::string WithCrLfBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QMimeData* PackSelectionBytes(std::string_view bytes, TextEncoding encoding) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kSelectionBytesType),
                  QByteArray(bytes.data(), qsizetype(bytes.size())));
    data->setText(QString::fromStdString(ShownAsUtf8(bytes, encoding)));
    return data;
}

bool HoldsInsertableText(const QMimeData* data) {
    return data != nullptr &&
           (data->hasFormat(QString::fromLatin1(kSelectionBytesType)) || data->hasText());
}

bool BytesToInsert(const QMimeData* data, TextEncoding encoding, std::string& bytes) {
    bytes.clear();
    if (data == nullptr)
        return false;
    const QString own = QString::fromLatin1(kSelectionBytesType);
    if (data->hasFormat(own)) {
        const QByteArray raw = data->data(own);
        bytes.assign(raw.constData(), size_t(raw.size()));
        return true;
    }
    if (!data->hasText())
        return false;
    bytes = WithCrLfBreaks(Utf8AsDocument(data->text().toStdString(), encoding));
    return true;
}
