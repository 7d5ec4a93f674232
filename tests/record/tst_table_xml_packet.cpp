#include "table_files_rig.h"

#include "record/table_xml_packet.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kFields =
    R"(<FIELDS><FIELD attrname="No" fieldtype="i4"/><FIELD attrname="Time" fieldtype="string" WIDTH="20"/>)"
    R"(<FIELD attrname="DC/AC" fieldtype="string" WIDTH="20"/><FIELD attrname="Value" fieldtype="string" WIDTH="20"/>)"
    R"(<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/><FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)"
    R"(<FIELD attrname="NVal" fieldtype="i4"/></FIELDS>)";

QByteArray packet(const QByteArray &params, const QByteArray &rows)
{
    return R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA>)" + kFields +
           params + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

QByteArray written(const MeasurementTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TableXmlPacket::write(buffer, table, table.rowCount());
    return buffer.data();
}

FileResult readInto(const QByteArray &bytes, MeasurementTable &table)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return TableXmlPacket::read(buffer, table);
}

} // namespace

class TestTableXmlPacket : public QObject {
    Q_OBJECT
private slots:
    void writesTheGoldenPacket();
    void changeLogFollowsRecordingAndNew();
    void packetRoundTripsEveryTextAndTheLog();
    void readsAcrossChunkBoundaries();
    void bigPacketRoundTrips();
    void refusesWhatDoesNotFit_data();
    void refusesWhatDoesNotFit();
    void entitiesAreNeverExpanded_data();
    void entitiesAreNeverExpanded();
    void savesSafely();
};

void TestTableXmlPacket::writesTheGoldenPacket()
{
    const QByteArray golden = fileBytes(QStringLiteral(HALVERN_TEST_DATA "/small_packet.xml"));
    QVERIFY(!golden.isEmpty());
    QCOMPARE(written(goldenTable()), golden);
}

void TestTableXmlPacket::changeLogFollowsRecordingAndNew()
{
    MeasurementTable table;
    QCOMPARE(written(table), packet("<PARAMS/>", ""));
    table.appendRow({1, "09:05:07", "DC", "1.234", "V", "pass", {}});
    table.appendRow({2, "09:05:08", "DC", "1.235", "V", "pass", {}});
    QCOMPARE(
        written(table),
        packet(
            R"(<PARAMS CHANGE_LOG="1 0 4 2 0 4"/>)",
            R"(<ROW RowState="4" No="1" Time="09:05:07" DC/AC="DC" Value="1.234" Unit="V" Auto="pass"/>)"
            R"(<ROW RowState="4" No="2" Time="09:05:08" DC/AC="DC" Value="1.235" Unit="V" Auto="pass"/>)"));
    table.clear(); // New
    table.appendRow({1, {}, {}, {}, {}, {}, {}}, false);
    QCOMPARE(written(table), packet("<PARAMS/>", R"(<ROW No="1"/>)"));
}

void TestTableXmlPacket::packetRoundTripsEveryTextAndTheLog()
{
    MeasurementTable table = goldenTable();
    table.appendRow({-2147483647 - 1, QStringLiteral("µ 오후 ü"), "a/b", "\\\\", "'", "&amp;", 2147483647},
                    true);
    MeasurementTable loaded;
    const FileResult result = readInto(written(table), loaded);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(dump(loaded), dump(table));
    QCOMPARE(loaded.loggedCount(), 3);

    const FileResult golden =
        readInto(fileBytes(QStringLiteral(HALVERN_TEST_DATA "/small_packet.xml")), loaded = {});
    QVERIFY(golden.ok);
    QCOMPARE(dump(loaded), dump(goldenTable()));
}

// The reader mends DC/AC chunk by chunk; a slash that ends a chunk must wait.
void TestTableXmlPacket::readsAcrossChunkBoundaries()
{
    MeasurementTable table;
    for (int i = 0; i < 3000; ++i)
        table.appendRow({i, "12:00:00", i % 2 ? "AC" : "DC", QString::number(i), "m/s", "pass", {}},
                        i % 3 == 0);
    MeasurementTable loaded;
    const FileResult result = readInto(written(table), loaded);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(dump(loaded), dump(table));
}

// Written in several chunks, each distinct text escaped once: read back, the
// packet gives the same rows and change log.
void TestTableXmlPacket::bigPacketRoundTrips()
{
    const MeasurementTable table = bigTable();
    const QByteArray packet = written(table);
    QVERIFY(packet.size() > 3 << 20);
    MeasurementTable loaded;
    const FileResult result = readInto(packet, loaded);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(dump(loaded), dump(table));
}

void TestTableXmlPacket::refusesWhatDoesNotFit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = packet("<PARAMS/>", R"(<ROW No="1" Time="a"/>)");
    QTest::newRow("empty") << QByteArray() << "The packet is incomplete.";
    QTest::newRow("truncated") << good.left(good.size() - 20) << "The packet is incomplete.";
    QTest::newRow("foreign XML") << QByteArray("<html><body/></html>") << "The file is not a data packet.";
    QTest::newRow("text file") << QByteArray("No\tTime\r\n1\t2\r\n") << "";
    QTest::newRow("junk after the packet") << good + "<x/>"
                                           << "";
    QTest::newRow("unknown field") << packet("<PARAMS/>", "").replace("\"NVal\"", "\"Extra\"")
                                   << "The packet's field \"Extra\" does not fit the table.";
    QTest::newRow("wrong field type")
        << packet("<PARAMS/>", "").replace(R"("No" fieldtype="i4")", R"("No" fieldtype="string")")
        << "The packet's field \"No\" has the wrong type.";
    QTest::newRow("row value of no field") << packet("<PARAMS/>", R"(<ROW Judge="x"/>)")
                                           << "Row 1 holds a value \"Judge\" that the table does not know.";
    QTest::newRow("No not an integer") << packet("<PARAMS/>", R"(<ROW No="1.5"/>)")
                                       << "Row 1: \"1.5\" is not a whole number for the field No.";
    QTest::newRow("change log past the rows") << packet(R"(<PARAMS CHANGE_LOG="2 0 4"/>)", R"(<ROW No="1"/>)")
                                              << "The change log names a row the packet does not hold.";
    QTest::newRow("change log not triples") << packet(R"(<PARAMS CHANGE_LOG="1 0"/>)", R"(<ROW No="1"/>)")
                                            << "The packet's change log is damaged.";
    QTest::newRow("unknown element") << packet("<PARAMS/>", "<COL/>")
                                     << "The packet holds an element COL that the table does not know.";
}

void TestTableXmlPacket::refusesWhatDoesNotFit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    MeasurementTable table;
    const FileResult result = readInto(bytes, table);
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(result.reason, reason);
}

void TestTableXmlPacket::entitiesAreNeverExpanded_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"%2\">")
                      .arg(i)
                      .arg(QString("&l%1;").arg(i - 1).repeated(10))
                      .toUtf8();
    laughs += "]>" + packet("<PARAMS/>", R"(<ROW Time="&l9;"/>)").mid(40);
    QTest::newRow("billion laughs") << laughs;
    QTest::newRow("external entity")
        << "<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
               packet("<PARAMS/>", R"(<ROW Time="&x;"/>)").mid(40);
    QTest::newRow("undeclared entity") << packet("<PARAMS/>", R"(<ROW Time="&x;"/>)");
}

void TestTableXmlPacket::entitiesAreNeverExpanded()
{
    QFETCH(QByteArray, bytes);
    MeasurementTable table;
    const FileResult result = readInto(bytes, table);
    QVERIFY(!result.ok);
    QCOMPARE(table.rowCount(), 0);
}

void TestTableXmlPacket::savesSafely()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("t.xml"));
    QVERIFY(TableXmlPacket::save(name, goldenTable(), 3).ok);
    QCOMPARE(fileBytes(name), written(goldenTable()));

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("d.xml")));
    const FileResult folder = TableXmlPacket::save(dir.filePath(QStringLiteral("d.xml")), goldenTable(), 3);
    QVERIFY(!folder.ok);
    QCOMPARE(folder.reason, QStringLiteral("The name is a folder, not a file."));

    MeasurementTable loaded;
    QVERIFY(TableXmlPacket::load(name, loaded).ok);
    QCOMPARE(dump(loaded), dump(goldenTable()));
    QVERIFY(!TableXmlPacket::load(dir.filePath(QStringLiteral("none.xml")), loaded).ok);
}

QTEST_GUILESS_MAIN(TestTableXmlPacket)
#include "tst_table_xml_packet.moc"
