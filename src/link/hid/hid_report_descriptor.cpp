#include "link/hid/hid_report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

// Item prefix: bits 0-1 size code (0, 1, 2 or 4 bytes), bits 2-3 type, bits 4-7 tag.
enum ItemType { Main = 0, Global = 1 };
enum MainTag { Input = 0x8 };
enum GlobalTag { ReportSize = 0x7, ReportId = 0x8, ReportCount = 0x9, Push = 0xA, Pop = 0xB };
constexpr unsigned char LongItemPrefix = 0xFE;

struct GlobalState {
    quint32 reportSize = 0; // bits per field
    quint32 reportCount = 0;
    quint32 reportId = 0;
};

} // namespace

HidReportLayout parseReportDescriptor(const QByteArray &descriptor)
{
    HidReportLayout layout;
    std::map<quint32, quint64> inputBits; // per report ID
    GlobalState state;
    std::vector<GlobalState> stack;

    const int size = descriptor.size();
    int pos = 0;
    while (pos < size) {
        const auto prefix = static_cast<unsigned char>(descriptor[pos]);
        if (prefix == LongItemPrefix) {
            if (pos + 1 >= size)
                break;
            pos += 3 + static_cast<unsigned char>(descriptor[pos + 1]);
            continue;
        }
        const int dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (pos + 1 + dataSize > size)
            break;
        quint32 value = 0;
        for (int i = 0; i < dataSize; ++i)
            value |= quint32(static_cast<unsigned char>(descriptor[pos + 1 + i])) << (8 * i);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        pos += 1 + dataSize;

        if (type == Main && tag == Input) {
            inputBits[state.reportId] += quint64(state.reportSize) * state.reportCount;
        } else if (type == Global) {
            switch (tag) {
            case ReportSize:
                state.reportSize = value;
                break;
            case ReportCount:
                state.reportCount = value;
                break;
            case ReportId:
                state.reportId = value;
                layout.numbered = true;
                break;
            case Push:
                stack.push_back(state);
                break;
            case Pop:
                if (!stack.empty()) {
                    state = stack.back();
                    stack.pop_back();
                }
                break;
            default:
                break;
            }
        }
    }

    quint64 longest = 0;
    for (const auto &entry : inputBits)
        longest = std::max(longest, (entry.second + 7) / 8);
    if (!inputBits.empty())
        layout.inputReportLength = static_cast<int>(std::min<quint64>(longest, 0xFFFF)) + 1;
    return layout;
}
