#pragma once

#include "meter/frame_builder.h"
#include "session/session_rig.h"

// The session at a set time of day, with the page its pager last showed.
struct RecordRig : SessionRig, SessionListener {
    int shownPage = 0;

    RecordRig() : SessionRig(QLocale::c(), QTime(21, 5, 7)) { session.addListener(this); }

    void pageShown(int page) override { shownPage = page; }

    // A DC volt frame: four digits, point code '0' (none) to '4', auto or manual range.
    void volts(const char *digits, char point = '0', bool autoRange = true)
    {
        session.frame(
            frameHex('+', digits, point, Bits::Dc8 | (autoRange ? Bits::Auto8 : 0), 0, 0, Bits::Volt11));
    }

    QString cell(int row, const char *field) const
    {
        return table.text(row, MeasurementTable::fieldIndex(QLatin1String(field)));
    }
    int no(int row) const { return table.field(row, MeasurementTable::No).toInt(); }
};
