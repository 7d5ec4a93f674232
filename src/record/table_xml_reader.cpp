// Reading of the XML data packet (see table_xml_packet.h).
#include "table_xml_packet.h"

#include "file_progress.h"
#include "measurement_table.h"

#include <QFile>
#include <QXmlStreamReader>

#include <vector>

namespace TableXmlPacket {

namespace {

constexpr qint64 kChunkBytes = 1 << 16;
// Stands for the slash inside attribute names such as DC/AC, which XML does
// not allow there; a name character that no field name uses.
constexpr char16_t kSlashStandIn = 0xb7;

bool isNameChar(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || c >= 0x80;
}

// Replaces a slash between two name characters inside a tag (outside quoted
// values) by the stand-in. Works chunk by chunk: a slash at the end of a
// chunk waits for the next one.
class SlashMender {
public:
    QString mend(QString text, bool last)
    {
        text.prepend(m_held);
        m_held.clear();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (m_quote) {
                if (c == m_quote)
                    m_quote = 0;
            } else if (m_inTag) {
                if (c == '"' || c == '\'') {
                    m_quote = c;
                } else if (c == '>') {
                    m_inTag = false;
                } else if (c == '/' && isNameChar(m_previous)) {
                    if (i + 1 == text.size() && !last) {
                        m_held = text.right(1);
                        text.chop(1);
                        break;
                    }
                    if (i + 1 < text.size() && isNameChar(text[i + 1].unicode()))
                        text[i] = QChar(kSlashStandIn);
                }
            } else if (c == '<') {
                m_inTag = true;
            }
            m_previous = text[i].unicode();
        }
        return text;
    }

private:
    QString m_held;
    bool m_inTag = false;
    char16_t m_quote = 0;
    char16_t m_previous = 0;
};

bool parseInteger(QStringView text, qint32 &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

// The parts of the packet, checked as they come.
class PacketParser {
public:
    explicit PacketParser(MeasurementTable &table) : m_table(table) {}

    // Handles the tokens available; false with a reason on a misfit.
    bool consume(QXmlStreamReader &xml)
    {
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                return fail(QStringLiteral("The packet declares a document type, which is not read."));
            case QXmlStreamReader::EntityReference:
                return fail(QStringLiteral("The packet uses an entity, which is not expanded."));
            case QXmlStreamReader::StartElement:
                if (!startElement(xml))
                    return false;
                break;
            case QXmlStreamReader::EndElement:
                m_path.pop_back();
                if (m_path.isEmpty())
                    m_complete = true;
                break;
            case QXmlStreamReader::Characters:
                if (!xml.isWhitespace())
                    return fail(QStringLiteral("The packet holds text outside its elements."));
                break;
            case QXmlStreamReader::Invalid:
                return xml.error() == QXmlStreamReader::PrematureEndOfDocumentError || fail(xmlError(xml));
            default:
                break;
            }
        }
        return true;
    }

    // After the last byte: the packet was whole and its change log fits.
    bool finish(QXmlStreamReader &xml)
    {
        if (!m_complete)
            return fail(xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError
                            ? xmlError(xml)
                            : QStringLiteral("The packet is incomplete."));
        for (int position : m_changeLog) {
            if (position < 1 || position > m_table.rowCount())
                return fail(QStringLiteral("The change log names a row the packet does not hold."));
            m_table.setLogged(position - 1, true);
        }
        return true;
    }

    QString reason() const { return m_reason; }

private:
    bool fail(const QString &reason)
    {
        m_reason = reason;
        return false;
    }
    static QString xmlError(const QXmlStreamReader &xml)
    {
        return QStringLiteral("The packet is damaged (line %1, column %2: %3).")
            .arg(xml.lineNumber())
            .arg(xml.columnNumber())
            .arg(xml.errorString());
    }
    static QString attributeName(QStringView name)
    {
        QString text = name.toString();
        text.replace(QChar(kSlashStandIn), QLatin1Char('/'));
        return text;
    }

    bool startElement(QXmlStreamReader &xml)
    {
        const QStringView name = xml.name();
        const QString parent = m_path.isEmpty() ? QString() : m_path.last();
        m_path.append(name.toString());
        if (parent.isEmpty())
            return name == u"DATAPACKET" || fail(QStringLiteral("The file is not a data packet."));
        if (parent == u"DATAPACKET" && (name == u"METADATA" || name == u"ROWDATA"))
            return true;
        if (parent == u"METADATA" && name == u"FIELDS")
            return true;
        if (parent == u"METADATA" && name == u"PARAMS")
            return params(xml.attributes());
        if (parent == u"FIELDS" && name == u"FIELD")
            return field(xml.attributes());
        if (parent == u"ROWDATA" && name == u"ROW")
            return row(xml.attributes());
        return fail(QStringLiteral("The packet holds an element %1 that the table does not know.").arg(name));
    }

    bool field(const QXmlStreamAttributes &attributes)
    {
        const QString name = attributeName(attributes.value(QLatin1StringView("attrname")));
        const int f = MeasurementTable::fieldIndex(name);
        if (f < 0 || m_declared[f])
            return fail(QStringLiteral("The packet's field \"%1\" does not fit the table.").arg(name));
        const QStringView type = attributes.value(QLatin1StringView("fieldtype"));
        if (type != (MeasurementTable::isIntegerField(f) ? u"i4" : u"string"))
            return fail(QStringLiteral("The packet's field \"%1\" has the wrong type.").arg(name));
        m_declared[f] = true;
        return true;
    }

    bool params(const QXmlStreamAttributes &attributes)
    {
        const QStringView log = attributes.value(QLatin1StringView("CHANGE_LOG"));
        int index = 0;
        for (QStringView number : log.tokenize(u' ', Qt::SkipEmptyParts)) {
            qint32 value = 0;
            if (!parseInteger(number, value))
                return fail(QStringLiteral("The packet's change log is damaged."));
            if (index++ % 3 == 0)
                m_changeLog.push_back(value);
        }
        return index % 3 == 0 || fail(QStringLiteral("The packet's change log is damaged."));
    }

    bool row(const QXmlStreamAttributes &attributes)
    {
        std::optional<qint32> integers[MeasurementTable::FieldCount];
        std::array<QStringView, 5> texts;
        for (const QXmlStreamAttribute &attribute : attributes) {
            if (attribute.name() == u"RowState")
                continue; // the change log says which rows are logged
            const QString name = attributeName(attribute.name());
            const int f = MeasurementTable::fieldIndex(name);
            if (f < 0 || !m_declared[f])
                return fail(QStringLiteral("Row %1 holds a value \"%2\" that the table does not know.")
                                .arg(m_table.rowCount() + 1)
                                .arg(name));
            if (MeasurementTable::isIntegerField(f)) {
                qint32 value = 0;
                if (!parseInteger(attribute.value(), value))
                    return fail(QStringLiteral("Row %1: \"%2\" is not a whole number for the field %3.")
                                    .arg(m_table.rowCount() + 1)
                                    .arg(attribute.value().left(40), name));
                integers[f] = value;
            } else {
                texts[f - MeasurementTable::Time] = attribute.value();
            }
        }
        m_table.appendUnobserved(integers[MeasurementTable::No], texts, integers[MeasurementTable::NVal],
                                 false);
        return true;
    }

    MeasurementTable &m_table;
    QStringList m_path;
    bool m_declared[MeasurementTable::FieldCount] = {};
    std::vector<int> m_changeLog; // row positions, from 1
    bool m_complete = false;
    QString m_reason;
};

} // namespace

FileResult read(QIODevice &in, MeasurementTable &table, FileProgress *progress)
{
    ProgressScope scope(progress, in.size());
    QXmlStreamReader xml;
    xml.setNamespaceProcessing(false);
    SlashMender mender;
    PacketParser parser(table);
    qint64 done = 0;
    bool last = false;
    while (!last) {
        const QByteArray bytes = in.read(kChunkBytes);
        if (bytes.isEmpty() && !in.atEnd())
            return FileResult::failure(in.errorString() + '.');
        last = in.atEnd();
        done += bytes.size();
        // The packet is 8-bit text whatever its declaration says.
        const QString text = mender.mend(QString::fromLatin1(bytes), last);
        if (!text.isEmpty())
            xml.addData(text);
        if (!parser.consume(xml))
            return FileResult::failure(parser.reason());
        scope.advance(done);
    }
    if (!parser.finish(xml))
        return FileResult::failure(parser.reason());
    return {};
}

FileResult load(const QString &fileName, MeasurementTable &table, FileProgress *progress)
{
    if (FileResult readable = checkReadableFile(fileName); !readable)
        return readable;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return FileResult::failure(file.errorString() + '.');
    return read(file, table, progress);
}

} // namespace TableXmlPacket
