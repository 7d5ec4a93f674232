#pragma once

#include "record/limit_judge.h"

#include <QColor>

// Green for Pass, red for Fail; invalid for None (the panel's own colour).
inline QColor verdictColour(LimitJudge::Verdict verdict)
{
    switch (verdict) {
    case LimitJudge::Verdict::Pass:
        return QColor(0, 128, 0);
    case LimitJudge::Verdict::Fail:
        return QColor(255, 0, 0);
    default:
        return {};
    }
}
