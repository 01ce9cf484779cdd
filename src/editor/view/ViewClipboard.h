#pragma once
#include <string>
#include <string_view>

#include "editor/text/TextEncoding.h"

class QMimeData;

// How selected text leaves a view and comes back, on the clipboard and in a
// drag alike. Our own views hand each other the exact bytes under a private
// type, so that what no encoding can show (NUL, a stray 0x80 or 0xFF, half a
// GBK pair, UTF-8 in a GBK document) and a lone LF inside a line come back as
// they left. Other programs get, and give, Unicode text.

// The private type: a selection's bytes, lines joined by CR LF.
inline constexpr char kSelectionBytesType[] = "application/x-sermida-bytes";

// The bytes under the private type and, beside them, the text for other
// programs: the bytes read as the document shows them, GBK or UTF-8, a byte
// that forms no character becoming U+FFFD. The caller owns the result.
QMimeData* PackSelectionBytes(std::string_view bytes, TextEncoding encoding);

// True when data holds something a paste or a drop can insert.
bool HoldsInsertableText(const QMimeData* data);

// The bytes a paste or a drop inserts into a document shown in encoding,
// lines joined by CR LF; false when data holds nothing to insert. Our own
// bytes come back unchanged. Text from another program is put in the
// document's encoding (to GBK, where '?' stands for what GBK cannot hold, or
// kept as UTF-8), and each of its line ends, LF, CR or CR LF, becomes CR LF.
bool BytesToInsert(const QMimeData* data, TextEncoding encoding, std::string& bytes);
