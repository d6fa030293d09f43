// The panel model the firmware tests play against: its re-map as the controller's
// datasheet gives it, on which the panel test's picture being upright rests.
#include <gtest/gtest.h>

#include <initializer_list>

#include "panel/panel_model.h"

namespace {

struct Panel {
    panel p;
    unsigned char shown[PANEL_ROWS][PANEL_COLUMNS];
    Panel() { panel_reset(&p); }
    void commands(std::initializer_list<int> bytes) {
        for (const int b : bytes) panel_byte(&p, 0, static_cast<unsigned char>(b));
    }
    void data(std::initializer_list<int> bytes) {
        for (const int b : bytes) panel_byte(&p, 1, static_cast<unsigned char>(b));
    }
    // Set up with this re-map (0x51: upright), its memory cleared and the panel on.
    Panel& upright(int remap = 0x51) {
        commands({0xA0, remap, 0x15, 0, 63, 0x75, 0, 127});
        for (int i = 0; i < PANEL_ROWS * PANEL_COLUMNS; ++i) data({0});
        commands({0xAF});
        return *this;
    }
    unsigned at(int row, int column) {
        panel_shown(&p, shown);
        return shown[row][column];
    }
};

TEST(PanelModel, RemapBitsPlaceBytesNibblesAndRows) {
    struct Case {
        int remap, row, column;
        unsigned shown;
    };
    // RAM row 0, byte 0 holding 0xAB.
    for (const Case c : {Case{0x51, 0, 0, 0xAB}, Case{0x53, 0, 0, 0xBA},
                         Case{0x52, 0, 63, 0xBA}, Case{0x50, 0, 63, 0xAB},
                         Case{0x41, 127, 0, 0xAB}}) {
        Panel panel;
        panel.upright(c.remap).commands({0x15, 0, 0, 0x75, 0, 0});
        panel.data({0xAB});
        EXPECT_EQ(panel.at(c.row, c.column), c.shown) << "re-map " << c.remap;
    }
}

}  // namespace
