#pragma once

#include "text_pool.h"

#include <QString>
#include <QStringView>
#include <QVariant>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// The values of one row, for appending and reading whole rows. Integer
// fields are null unless set; an empty text is stored as null.
struct TableRow {
    std::optional<qint32> No;
    QString Time;
    QString DcAc;
    QString Value;
    QString Unit;
    QString Auto;
    std::optional<qint32> NVal;
};

// Told before and after the table changes, so that a view can follow.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void rowsAboutToBeAppended(int first, int last) = 0;
    virtual void rowsAppended() = 0;
    virtual void rowChanged(int row) = 0;
    virtual void aboutToReset() = 0;
    virtual void resetDone() = 0;
};

// The measurement table: seven fields in a fixed order (loaders fill them by
// position), looked up by name without regard to case. Texts are cut to 20
// characters. Keeps, per row, whether it was appended since the table was
// created or last emptied: the change log of the XML data packet.
class MeasurementTable {
public:
    enum Field { No, Time, DcAc, Value, Unit, Auto, NVal, FieldCount };
    static constexpr int MaxTextLength = 20;
    // The most rows a table holds: the record limit "limitless"; loads stop there.
    static constexpr int MaxRows = 10000000;

    static QString fieldName(int field);
    // -1 when no field has that name.
    static int fieldIndex(const QString &name);
    static bool isIntegerField(int field) { return field == No || field == NVal; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }

    // Appends one row; returns its index. A logged row is entered in the
    // change log (recording and text loading append logged rows).
    int appendRow(const TableRow &row, bool logged = true);
    // Empties the table and its change log.
    void clear();

    TableRow row(int row) const;
    // Null QVariant for a null field; int for No and NVal, QString otherwise.
    QVariant field(int row, int field) const;
    QVariant field(int row, const QString &name) const;
    // Text of a text field (empty when null); for an integer field its decimal text.
    QString text(int row, int field) const;
    // Sets one field of an existing row: an int-convertible value for No and
    // NVal, text otherwise; a null QVariant makes the field null.
    void setField(int row, int field, const QVariant &value);
    bool isLogged(int row) const { return m_rows[row].flags & LoggedFlag; }
    void setLogged(int row, bool logged);
    int loggedCount() const { return m_loggedCount; }

    void setObserver(TableObserver *observer) { m_observer = observer; }

    // Fast paths for the file formats, which handle millions of rows.
    // A row with its texts as pool ids (0 for an empty text); ids are below
    // textIdEnd() and stay valid as long as the table lives.
    struct RowIds {
        std::optional<qint32> no, nval;
        std::array<std::uint32_t, 5> text; // pool ids of Time .. Auto
        bool logged;
    };
    RowIds rowIds(int row) const
    {
        const StoredRow &s = m_rows[row];
        return {s.flags & NoSet ? std::optional<qint32>(s.no) : std::nullopt,
                s.flags & NValSet ? std::optional<qint32>(s.nval) : std::nullopt, s.text,
                bool(s.flags & LoggedFlag)};
    }
    std::uint32_t textIdEnd() const { return m_pool.size(); }
    QStringView textOfId(std::uint32_t id) const { return m_pool.view(id); }
    // Appends a row given as views (texts in field order Time .. Auto); no
    // observer is told: for tables not shown in a view.
    void appendUnobserved(std::optional<qint32> no, const std::array<QStringView, 5> &texts,
                          std::optional<qint32> nval, bool logged);
    // Appends rows [first, first + count) of another table, with their change
    // log marks, as one insertion.
    void appendRows(const MeasurementTable &from, int first, int count);
    // Takes over the rows and change log of another table, as one reset;
    // the other table is left empty.
    void replaceWith(MeasurementTable &&from);

private:
    enum Flags : std::uint8_t { NoSet = 1, NValSet = 2, LoggedFlag = 4 };
    // 32 bytes a row: the texts live in the pool.
    struct StoredRow {
        qint32 no = 0;
        qint32 nval = 0;
        std::array<std::uint32_t, 5> text{}; // Time .. Auto, pool ids
        std::uint8_t flags = 0;
    };

    std::uint32_t internCut(const QString &text);

    std::deque<StoredRow> m_rows; // no relocation of millions of rows when it grows
    TextPool m_pool;
    int m_loggedCount = 0;
    TableObserver *m_observer = nullptr;
};
