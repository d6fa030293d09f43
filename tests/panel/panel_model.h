/* panel_model.h: a 128 x 128 OLED panel of 16 gray levels on an SSD1327 controller, as
 * its SPI bus sees it, for the tests that play firmwares in an emulator.
 *
 * panel_reset puts the controller in its reset state (as its RST pin does) and its RAM,
 * 128 rows of 64 bytes (two pixels a byte), in a noise pattern, as after power-up; only
 * what a firmware writes is known. panel_byte takes each byte the bus carries, with the
 * D/C line (0 = command, 1 = data): commands take their parameters as the next command
 * bytes; data bytes are written at the address pointer, which moves on within the
 * window set by 0x15 (columns of 2 pixels) and 0x75 (rows) and wraps in it as the
 * controller does, across (re-map bit 2 clear) or down (set).
 *
 * panel_shown gives what the panel shows: 128 rows from the top, 64 bytes a row, the
 * left pixel in the high nibble. The panel is wired as the common 128 x 128 modules are:
 * the controller's last segment at the left edge and its last COM line at the top, so
 * that re-map 0x51 (column address re-map, COM re-map, COM split odd/even) shows RAM
 * column 0 at the left with the high nibble first, and RAM row 0 at the top. Honoured:
 * re-map 0xA0 (bits 0 column address re-map, 1 nibble re-map, 2 vertical increment,
 * 4 COM re-map), start line 0xA1, display offset 0xA2, 0xA4 to 0xA7 (normal, all on,
 * all off, inverse) and display on/off 0xAF/0xAE (off shows black). Taken and ignored:
 * re-map bit 6, contrast, multiplex ratio, the clock, phase and pre-charge settings,
 * the gray scale table, GPIO, function selections, the command lock and NOP. Any other
 * command byte is counted in unknown (and its first in first_unknown), and taken
 * without parameters. */
#ifndef PANEL_MODEL_H
#define PANEL_MODEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define PANEL_ROWS 128
#define PANEL_WIDTH 128  /* pixels a row */
#define PANEL_COLUMNS 64 /* bytes a row */

typedef struct panel {
    unsigned char ram[PANEL_ROWS][PANEL_COLUMNS];
    unsigned char column_start, column_end, row_start, row_end;
    unsigned char column, row; /* the address pointer */
    unsigned char remap, start_line, offset;
    unsigned char mode; /* 0xA4 to 0xA7 */
    unsigned char on;
    unsigned char command;        /* the command taking parameters, or 0 */
    unsigned char wanted, given;  /* its parameters: how many, how many so far */
    unsigned char parameters[16];
    unsigned long unknown;
    unsigned char first_unknown;
} panel;

void panel_reset(panel *p);

void panel_byte(panel *p, int data, unsigned char byte);

void panel_shown(const panel *p, unsigned char shown[PANEL_ROWS][PANEL_COLUMNS]);

#ifdef __cplusplus
}
#endif

#endif
