#include "control/tcontroljson.h"

void TControlJson::appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (uchar(c) < 0x20) {
                out += "\\u00";
                out += hex[uchar(c) >> 4];
                out += hex[uchar(c) & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void TControlJson::appendObject(QByteArray &out, const TLinkFigures::Fields &fields)
{
    using K = TLinkFigures::Field::Kind;
    out += '{';
    for (const TLinkFigures::Field &f : fields) {
        if (out.back() != '{')
            out += ',';
        appendString(out, f.key);
        out += ':';
        if (f.kind == K::Counter || f.kind == K::Gauge)
            out += QByteArray::number(f.value.toULongLong());
        else
            appendString(out, f.value.toString());
    }
    out += '}';
}
