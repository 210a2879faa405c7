#include "pass_start.h"

#include <algorithm>

Texts start_settings(int panel, int budget) {
    std::string p = std::to_string(panel);
    return {"SetCtrlVal(" + p + ", 8, 0)",
            "SetCtrlVal(" + p + ", 9, 4095)",
            "SetCtrlVal(" + p + ", 10, 0.0010000000474974513)",
            "SetCtrlVal(" + p + ", 11, 10)",
            "SetCtrlVal(" + p + ", 14, 1)",
            "SetCtrlVal(" + p + ", 12, " + std::to_string(budget) + ")",
            "SetCtrlAttribute(" + p + ", 12, 10, 0)",
            "SetAxisRange(" + p + ", 17, 0, 0, 4095, 0, 0.0010000000474974513, 10)"};
}

Texts without_start_settings(const Texts& texts) {
    Texts out;
    for (const std::string& text : texts) {
        out.push_back(text);
        // The panel handle is the first number of the call that ends a block.
        std::string handle = text.substr(text.find('(') + 1);
        handle = handle.substr(0, handle.find(','));
        for (int budget : {1000, 10000}) {
            Texts shown = start_settings(std::atoi(handle.c_str()), budget);
            auto size = static_cast<long>(shown.size());
            if (static_cast<long>(out.size()) >= size &&
                std::equal(shown.begin(), shown.end(), out.end() - size))
                out.resize(out.size() - shown.size());
        }
    }
    return out;
}
