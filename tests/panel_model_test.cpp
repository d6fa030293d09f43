// The panel model the firmware tests play against: what the controller's datasheet says
// of its commands, checked on what the panel shows.
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

TEST(PanelModel, WritesWrapWithinTheWindowAcrossOrDown) {
    Panel across;
    across.upright().commands({0x15, 10, 11, 0x75, 5, 6});
    across.data({1, 2, 3, 4, 5});
    EXPECT_EQ(across.at(5, 10), 5u);  // the fifth byte wrapped to the window's start
    EXPECT_EQ(across.at(5, 11), 2u);
    EXPECT_EQ(across.at(6, 10), 3u);
    EXPECT_EQ(across.at(6, 11), 4u);
    EXPECT_EQ(across.at(5, 12), 0u);

    Panel down;
    down.upright(0x55).commands({0x15, 10, 11, 0x75, 5, 6});
    down.data({1, 2, 3});
    EXPECT_EQ(down.at(6, 10), 2u);
    EXPECT_EQ(down.at(5, 11), 3u);
}

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

TEST(PanelModel, StartLineAndOffsetMoveThePicture) {
    Panel panel;
    panel.upright().commands({0x75, 8, 8});
    panel.data({0x77});
    panel.commands({0xA1, 8});
    EXPECT_EQ(panel.at(0, 0), 0x77u);
    panel.commands({0xA1, 0, 0xA2, 8});
    EXPECT_EQ(panel.at(0, 0), 0u);
    EXPECT_EQ(panel.at(16, 0), 0x77u);
}

TEST(PanelModel, CommandsTakeTheirParametersAsCommandBytes) {
    Panel panel;
    panel.commands({0xA0, 0x51, 0x81, 0x80, 0xB8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                    13, 14, 0x15, 0, 0, 0x75, 0, 0});
    panel.data({0x12});
    EXPECT_EQ(panel.at(0, 0), 0u);  // the display is off until 0xAF
    panel.commands({0xAF, 0x27});
    EXPECT_EQ(panel.at(0, 0), 0x12u);
    EXPECT_EQ(panel.p.unknown, 1ul);
    EXPECT_EQ(panel.p.first_unknown, 0x27);
}

}  // namespace
