#include "control/tcontroljson.h"

void TControlJson::appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    // Runs that need no escape go in whole.
    int from = 0;
    for (int i = 0; i < utf8.size(); ++i) {
        const uchar c = uchar(utf8.at(i));
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.constData() + from, i - from);
        from = i + 1;
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
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    out.append(utf8.constData() + from, utf8.size() - from);
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
