/* panel_harness: runs an ATmega328P firmware (ELF) at 16 MHz under simavr with a panel
 * (panel_model.h) on its SPI bus, CS on PB2, D/C on PB1 and RST on PB0, and checks
 * what the panel shows each time CS rises after a frame.
 *
 * Usage: panel_harness FIRMWARE.elf FRAMES COLUMN ROW COUNT
 * FRAMES holds the frames the firmware plays, in order, 4080 bytes each (102 x 80, 51
 * bytes a row, the left pixel in the high nibble); the first CS-low period that
 * carries bytes is the firmware's set-up, each one after it a frame (bytes or none),
 * the frames taken in turn and from the first again after the last. After each of COUNT frames the panel must show that frame
 * with its top-left pixel pair at byte COLUMN of row ROW, and black everywhere else,
 * and the firmware must have sent no command the panel does not know. Prints the bytes
 * the frames took on the bus and exits 0, or prints the first difference and exits 1
 * (2 for a usage or file error). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <simavr/avr_ioport.h>
#include <simavr/avr_spi.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>

#include "panel_model.h"

#define FRAME_WIDTH 51 /* bytes a row */
#define FRAME_HEIGHT 80
#define FRAME_BYTES (FRAME_WIDTH * FRAME_HEIGHT)
#define PIN_RST 0
#define PIN_DC 1
#define PIN_CS 2

typedef struct bench {
    panel panel;
    int selected, data, in_reset;
    unsigned long periods;    /* CS-low periods ended, from the set-up's on */
    unsigned long period_bytes;
    unsigned long frame_bytes; /* bytes sent in the frames' periods */
    unsigned long stray;      /* bytes sent while CS was high or RST low */
    const unsigned char *frames;
    unsigned long frame_count, count, column, row;
    int failed;
} bench;

static int check(bench *b, unsigned long frame)
{
    static unsigned char shown[PANEL_ROWS][PANEL_COLUMNS];
    const unsigned char *want = b->frames + (frame % b->frame_count) * FRAME_BYTES;
    int y, x;
    panel_shown(&b->panel, shown);
    for (y = 0; y < PANEL_ROWS; ++y)
        for (x = 0; x < PANEL_COLUMNS; ++x) {
            unsigned long fy = (unsigned long)y - b->row, fx = (unsigned long)x - b->column;
            unsigned char expected = fy < FRAME_HEIGHT && fx < FRAME_WIDTH
                                         ? want[fy * FRAME_WIDTH + fx] : 0;
            if (shown[y][x] != expected) {
                printf("frame %lu (picture %lu): panel row %d byte %d shows %02x, "
                       "expected %02x\n",
                       frame, frame % b->frame_count, y, x, shown[y][x], expected);
                return 1;
            }
        }
    if (b->panel.unknown) {
        printf("frame %lu: %lu command bytes the panel does not know, the first %02x\n",
               frame, b->panel.unknown, b->panel.first_unknown);
        return 1;
    }
    return 0;
}

static void on_spi(avr_irq_t *irq, uint32_t value, void *param)
{
    bench *b = param;
    (void)irq;
    if (!b->selected || b->in_reset) {
        ++b->stray;
        return;
    }
    if (b->periods > 0)
        ++b->frame_bytes;
    ++b->period_bytes;
    panel_byte(&b->panel, b->data, (unsigned char)value);
}

static void on_pin(avr_irq_t *irq, uint32_t value, void *param)
{
    bench *b = param;
    switch (irq->irq) {
    case PIN_DC:
        b->data = value != 0;
        break;
    case PIN_RST:
        b->in_reset = value == 0;
        if (b->in_reset)
            panel_reset(&b->panel);
        break;
    case PIN_CS:
        if (value && b->selected && (b->periods > 0 || b->period_bytes > 0)) {
            if (b->periods > 0 && !b->failed)
                b->failed = check(b, b->periods - 1);
            ++b->periods;
            b->period_bytes = 0;
        }
        b->selected = value == 0;
        break;
    }
}

static unsigned char *read_file(const char *name, unsigned long *size)
{
    FILE *f = fopen(name, "rb");
    unsigned char *bytes;
    long length;
    if (!f || fseek(f, 0, SEEK_END) != 0 || (length = ftell(f)) <= 0) {
        if (f)
            fclose(f);
        return NULL;
    }
    rewind(f);
    bytes = malloc((size_t)length);
    if (bytes && fread(bytes, 1, (size_t)length, f) != (size_t)length) {
        free(bytes);
        bytes = NULL;
    }
    fclose(f);
    *size = (unsigned long)length;
    return bytes;
}

int main(int argc, char **argv)
{
    static bench b;
    /* Kept for the run: simavr's reader allocates the firmware's parts and symbols. */
    static elf_firmware_t firmware;
    avr_t *avr;
    unsigned long size = 0, cycles_per_frame = 16000000;
    int pin, state = cpu_Running;
    if (argc != 6) {
        fprintf(stderr, "usage: panel_harness FIRMWARE.elf FRAMES COLUMN ROW COUNT\n");
        return 2;
    }
    b.frames = read_file(argv[2], &size);
    b.column = strtoul(argv[3], NULL, 10);
    b.row = strtoul(argv[4], NULL, 10);
    b.count = strtoul(argv[5], NULL, 10);
    if (!b.frames || size % FRAME_BYTES != 0 || b.column + FRAME_WIDTH > PANEL_COLUMNS ||
        b.row + FRAME_HEIGHT > PANEL_ROWS) {
        fprintf(stderr, "panel_harness: %s is not a whole number of frames, or they do "
                "not fit on the panel at %s, %s\n", argv[2], argv[3], argv[4]);
        return 2;
    }
    b.frame_count = size / FRAME_BYTES;
    memset(&firmware, 0, sizeof firmware);
    if (elf_read_firmware(argv[1], &firmware) != 0) {
        fprintf(stderr, "panel_harness: cannot read %s\n", argv[1]);
        return 2;
    }
    avr = avr_make_mcu_by_name("atmega328p");
    if (!avr || avr_init(avr) != 0)
        return 2;
    avr->log = LOG_NONE;
    firmware.frequency = 16000000;
    avr_load_firmware(avr, &firmware);
    avr->frequency = 16000000;

    panel_reset(&b.panel);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT),
                            on_spi, &b);
    for (pin = PIN_RST; pin <= PIN_CS; ++pin)
        avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), pin),
                                on_pin, &b);

    while (!b.failed && b.periods < b.count + 1) {
        state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed)
            break;
        if (avr->cycle > cycles_per_frame * (b.periods + 2)) {
            printf("the frames took more than %lu cycles each, up to frame %lu\n",
                   cycles_per_frame, b.periods > 0 ? b.periods - 1 : 0);
            return 1;
        }
    }
    if (b.failed)
        return 1;
    if (b.periods < b.count + 1) {
        printf("the firmware stopped (state %d) after %lu frames\n", state,
               b.periods > 0 ? b.periods - 1 : 0);
        return 1;
    }
    if (b.stray)
        printf("note: %lu bytes sent while the panel was not selected\n", b.stray);
    printf("%lu frames shown as expected, %lu bytes on the bus\n", b.count, b.frame_bytes);
    return 0;
}
