#include "panel_model.h"

#include <string.h>

#define REMAP_COLUMNS 0x01
#define REMAP_NIBBLES 0x02
#define REMAP_VERTICAL 0x04
#define REMAP_COM 0x10

/* The parameters a command takes, or -1 for a command the model does not know. */
static int parameter_count(unsigned char command)
{
    switch (command) {
    case 0x15: case 0x75:
        return 2;
    case 0x81: case 0xA0: case 0xA1: case 0xA2: case 0xA8: case 0xAB: case 0xB1:
    case 0xB3: case 0xB5: case 0xB6: case 0xBC: case 0xBE: case 0xD5: case 0xFD:
        return 1;
    case 0xB8:
        return 15;
    case 0xA4: case 0xA5: case 0xA6: case 0xA7: case 0xAE: case 0xAF: case 0xB9:
    case 0xE3: case 0x2E:
        return 0;
    default:
        return -1;
    }
}

void panel_reset(panel *p)
{
    unsigned long noise = 12345;
    int row, column;
    memset(p, 0, sizeof *p);
    for (row = 0; row < PANEL_ROWS; ++row)
        for (column = 0; column < PANEL_COLUMNS; ++column) {
            noise = noise * 1103515245UL + 12345;
            p->ram[row][column] = (unsigned char)(noise >> 16);
        }
    p->column_end = PANEL_COLUMNS - 1;
    p->row_end = PANEL_ROWS - 1;
    p->mode = 0xA4;
}

static void run(panel *p)
{
    const unsigned char *a = p->parameters;
    switch (p->command) {
    case 0x15:
        p->column_start = a[0] & 0x3F;
        p->column_end = a[1] & 0x3F;
        p->column = p->column_start;
        break;
    case 0x75:
        p->row_start = a[0] & 0x7F;
        p->row_end = a[1] & 0x7F;
        p->row = p->row_start;
        break;
    case 0xA0: p->remap = a[0]; break;
    case 0xA1: p->start_line = a[0] & 0x7F; break;
    case 0xA2: p->offset = a[0] & 0x7F; break;
    case 0xA4: case 0xA5: case 0xA6: case 0xA7: p->mode = p->command; break;
    case 0xAE: p->on = 0; break;
    case 0xAF: p->on = 1; break;
    default: break;
    }
    p->command = 0;
}

/* Moves the pointer on one step along a window's axis: 1 when it wrapped. */
static int step(unsigned char *at, unsigned char start, unsigned char end)
{
    if (*at == end) {
        *at = start;
        return 1;
    }
    *at = (unsigned char)(*at + 1);
    return 0;
}

void panel_byte(panel *p, int data, unsigned char byte)
{
    int count;
    if (data) {
        p->ram[p->row & 0x7F][p->column & 0x3F] = byte;
        if (p->remap & REMAP_VERTICAL) {
            if (step(&p->row, p->row_start, p->row_end))
                step(&p->column, p->column_start, p->column_end);
        } else if (step(&p->column, p->column_start, p->column_end)) {
            step(&p->row, p->row_start, p->row_end);
        }
        return;
    }
    if (p->command) {
        p->parameters[p->given++] = byte;
        if (p->given == p->wanted)
            run(p);
        return;
    }
    count = parameter_count(byte);
    if (count < 0) {
        if (p->unknown++ == 0)
            p->first_unknown = byte;
        return;
    }
    p->command = byte;
    p->wanted = (unsigned char)count;
    p->given = 0;
    if (count == 0)
        run(p);
}

/* The level RAM gives pixel x (from the left) of RAM row ram_row. */
static unsigned level(const panel *p, int ram_row, int x)
{
    int segment = PANEL_WIDTH - 1 - x;
    int column = segment / 2;
    int high = (segment & 1) != ((p->remap & REMAP_NIBBLES) != 0);
    unsigned char byte;
    if (p->remap & REMAP_COLUMNS)
        column = PANEL_COLUMNS - 1 - column;
    byte = p->ram[ram_row][column];
    return high ? byte >> 4 : byte & 0x0F;
}

void panel_shown(const panel *p, unsigned char shown[PANEL_ROWS][PANEL_COLUMNS])
{
    int y, x;
    for (y = 0; y < PANEL_ROWS; ++y) {
        int line = p->remap & REMAP_COM ? y : PANEL_ROWS - 1 - y;
        int ram_row = (p->start_line + line - p->offset) & 0x7F;
        for (x = 0; x < PANEL_WIDTH; x += 2) {
            unsigned pair = level(p, ram_row, x) << 4 | level(p, ram_row, x + 1);
            if (!p->on || p->mode == 0xA6)
                pair = 0x00;
            else if (p->mode == 0xA5)
                pair = 0xFF;
            else if (p->mode == 0xA7)
                pair ^= 0xFF;
            shown[y][x / 2] = (unsigned char)pair;
        }
    }
}
