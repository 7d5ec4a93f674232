#include "record/measurement_table.h"
#include "record/text_pool.h"
#include "ui/measurement_table_model.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>
#include <QTest>

namespace {

TableRow recorded(int no, const QString &value, const QString &unit = QStringLiteral("V"))
{
    TableRow row;
    row.No = no;
    row.Time = QStringLiteral("09:05:07");
    row.DcAc = QStringLiteral("DC");
    row.Value = value;
    row.Unit = unit;
    row.Auto = QStringLiteral("pass");
    return row;
}

} // namespace

class TestMeasurementTable : public QObject {
    Q_OBJECT
private slots:
    void fieldsInOrder();
    void fieldLookupIgnoresCase_data();
    void fieldLookupIgnoresCase();
    void storesRowsWithNullsAndCutTexts();
    void changeLogFollowsAppendsAndClear();
    void poolStoresEachTextOnce();
    void modelFollowsTheTable();
    void modelShowsTheGridColumns();
    void modelFollowsBulkAppendAndReplace();
};

void TestMeasurementTable::fieldsInOrder()
{
    const QStringList expected = {"No", "Time", "DC/AC", "Value", "Unit", "Auto", "NVal"};
    QStringList names;
    for (int f = 0; f < MeasurementTable::FieldCount; ++f)
        names << MeasurementTable::fieldName(f);
    QCOMPARE(names, expected);
    QVERIFY(MeasurementTable::isIntegerField(MeasurementTable::No));
    QVERIFY(MeasurementTable::isIntegerField(MeasurementTable::NVal));
    QVERIFY(!MeasurementTable::isIntegerField(MeasurementTable::Auto));
}

void TestMeasurementTable::fieldLookupIgnoresCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    QTest::newRow("no") << "no" << int(MeasurementTable::No);
    QTest::newRow("value") << "value" << int(MeasurementTable::Value);
    QTest::newRow("AUTO") << "AUTO" << int(MeasurementTable::Auto);
    QTest::newRow("dc/ac") << "dc/ac" << int(MeasurementTable::DcAc);
    QTest::newRow("nval") << "nval" << int(MeasurementTable::NVal);
    QTest::newRow("unknown") << "Judge" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestMeasurementTable::fieldLookupIgnoresCase()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QCOMPARE(MeasurementTable::fieldIndex(name), field);
}

void TestMeasurementTable::storesRowsWithNullsAndCutTexts()
{
    MeasurementTable table;
    TableRow loaded;
    loaded.Time = QStringLiteral("9:05:07");
    loaded.Value = QStringLiteral("abcdefghijklmnopqrstuvwxyz"); // 26 characters
    loaded.NVal = -7;
    table.appendRow(recorded(1, QStringLiteral("1.234")));
    table.appendRow(loaded);

    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.field(0, QStringLiteral("NO")), QVariant(1));
    QVERIFY(table.field(0, QStringLiteral("nval")).isNull());
    QCOMPARE(table.field(0, QStringLiteral("value")).toString(), QStringLiteral("1.234"));
    QVERIFY(table.field(1, MeasurementTable::No).isNull());
    QCOMPARE(table.text(1, MeasurementTable::No), QString());
    QCOMPARE(table.field(1, MeasurementTable::NVal), QVariant(-7));
    QCOMPARE(table.text(1, MeasurementTable::Value), QStringLiteral("abcdefghijklmnopqrst"));
    QVERIFY(table.field(1, MeasurementTable::DcAc).isNull()); // empty text is null

    table.setField(1, MeasurementTable::No, 42);
    table.setField(1, MeasurementTable::Auto, QStringLiteral("Fail"));
    table.setField(1, MeasurementTable::NVal, QVariant());
    const TableRow back = table.row(1);
    QCOMPARE(back.No, std::optional<qint32>(42));
    QCOMPARE(back.Auto, QStringLiteral("Fail"));
    QVERIFY(!back.NVal);
    QCOMPARE(back.Time, QStringLiteral("9:05:07"));
}

void TestMeasurementTable::changeLogFollowsAppendsAndClear()
{
    MeasurementTable table;
    table.appendRow(recorded(1, QStringLiteral("1")));
    table.appendRow(recorded(2, QStringLiteral("2")), false); // e.g. from a packet without a log entry
    QVERIFY(table.isLogged(0));
    QVERIFY(!table.isLogged(1));
    QCOMPARE(table.loggedCount(), 1);
    table.setLogged(1, true);
    table.setLogged(1, true);
    QCOMPARE(table.loggedCount(), 2);

    table.clear();
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(table.loggedCount(), 0);
    table.appendRow(recorded(1, QStringLiteral("1")));
    QCOMPARE(table.loggedCount(), 1);
}

void TestMeasurementTable::poolStoresEachTextOnce()
{
    TextPool pool;
    QCOMPARE(pool.intern(u""), 0u);
    const auto a = pool.intern(u"1.234");
    const auto b = pool.intern(u"09:05:07");
    QVERIFY(a != b);
    QCOMPARE(pool.intern(QStringLiteral("1.234")), a);
    // Many distinct texts (a day of times) keep their ids through growth.
    std::vector<std::uint32_t> ids;
    for (int s = 0; s < 5000; ++s)
        ids.push_back(pool.intern(QString::number(s)));
    for (int s = 0; s < 5000; ++s) {
        QCOMPARE(pool.text(ids[s]), QString::number(s));
        QCOMPARE(pool.intern(QString::number(s)), ids[s]);
    }
    QCOMPARE(pool.text(a), QStringLiteral("1.234"));
    QCOMPARE(pool.view(999999), QStringView());
}

void TestMeasurementTable::modelFollowsTheTable()
{
    MeasurementTable table;
    MeasurementTableModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    for (int i = 1; i <= 3; ++i)
        table.appendRow(recorded(i, QString::number(i)));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(inserted.last().at(1).toInt(), 2);
    QCOMPARE(inserted.last().at(2).toInt(), 2);

    table.setField(1, MeasurementTable::Value, QStringLiteral("9"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.index(1, MeasurementTableModel::ColValue).data().toString(), QStringLiteral("9"));

    table.clear();
    QCOMPARE(model.rowCount(), 0);
    table.appendRow(recorded(1, QStringLiteral("1")));
    QCOMPARE(model.rowCount(), 1);
}

void TestMeasurementTable::modelShowsTheGridColumns()
{
    MeasurementTable table;
    MeasurementTableModel model(table);
    table.appendRow(recorded(12, QStringLiteral("1.234"), QStringLiteral("k*")));
    TableRow nval = recorded(13, QStringLiteral("0.L"));
    nval.NVal = 5;
    table.appendRow(nval);

    QCOMPARE(model.columnCount(), 6); // NVal is not shown
    const QStringList titles = {"No.", "Time", "Function", "Value", "Unit", "Judge"};
    const int widths[] = {39, 53, 42, 51, 36, 38};
    const Qt::Alignment horizontal[] = {Qt::AlignLeft,  Qt::AlignHCenter, Qt::AlignHCenter,
                                        Qt::AlignRight, Qt::AlignRight,   Qt::AlignLeft};
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), titles[c]);
        QCOMPARE(MeasurementTableModel::columnWidth(c), widths[c]);
        const auto alignment = Qt::Alignment(model.index(0, c).data(Qt::TextAlignmentRole).toInt());
        QCOMPARE(alignment & Qt::AlignHorizontal_Mask, horizontal[c]);
        QVERIFY(!(model.flags(model.index(0, c)) & Qt::ItemIsEditable));
    }
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("12"));
    QCOMPARE(model.index(0, MeasurementTableModel::ColUnit).data().toString(), QStringLiteral("k\u03a9"));
    QCOMPARE(model.index(0, MeasurementTableModel::ColUnit).data(Qt::EditRole).toString(),
             QStringLiteral("k*"));
    QCOMPARE(model.index(1, MeasurementTableModel::ColJudge).data().toString(), QStringLiteral("pass"));
    QCOMPARE(model.index(0, 0).data(Qt::FontRole).value<QFont>().pixelSize(), 12);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>().pixelSize(), 11);
}

// A loaded file joins the grid as one insertion or one reset, texts mapped
// from the loader's pool to the table's.
void TestMeasurementTable::modelFollowsBulkAppendAndReplace()
{
    MeasurementTable table;
    MeasurementTableModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    table.appendRow(recorded(1, "1.000"));

    MeasurementTable loaded;
    loaded.appendUnobserved(7, {u"10:00:00", u"AC", u"2.000", u"k*", u"Fail"}, 3, false);
    loaded.appendUnobserved(8, {u"10:00:01", u"AC", u"2.001", u"k*", u"Fail"}, {}, true);
    table.appendRows(loaded, 0, 2);
    QCOMPARE(inserted.size(), 2); // the recorded row, then both loaded rows at once
    QCOMPARE(inserted.last().at(1).toInt(), 1);
    QCOMPARE(inserted.last().at(2).toInt(), 2);
    QCOMPARE(table.text(2, MeasurementTable::Value), QStringLiteral("2.001"));
    QCOMPARE(model.index(1, MeasurementTableModel::ColUnit).data().toString(), QStringLiteral("kΩ"));
    QCOMPARE(table.field(1, MeasurementTable::NVal).toInt(), 3);
    QVERIFY(!table.isLogged(1) && table.isLogged(2));
    QCOMPARE(table.loggedCount(), 2);

    table.replaceWith(std::move(loaded));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(table.text(0, MeasurementTable::Time), QStringLiteral("10:00:00"));
    QCOMPARE(table.loggedCount(), 1);
    QCOMPARE(loaded.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestMeasurementTable)
#include "tst_measurement_table.moc"
