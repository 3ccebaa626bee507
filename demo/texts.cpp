// The two texts built into the intro: the block-letter logo of scene 2 and the
// message its scroller runs.
#include "demo/demo.h"

// ---- Logo -------------------------------------------------------------------
//
// "ASCII" in five 3 x 5 letters one blank apart: five rows of 19 cells, each
// row ended by '\n'. Blanks are printed too, so the whole box is opaque.

const char DEMO_LOGO[] =
    "000 000 000 000 000\n"
    "0 0 0   0    0   0 \n"
    "000 000 0    0   0 \n"
    "0 0   0 0    0   0 \n"
    "0 0 000 000 000 000\n";

static_assert(sizeof(DEMO_LOGO) == 5 * 20 + 1, "five rows of 19 cells");

// ---- Scroll message ---------------------------------------------------------
//
// One line: 100 blanks so that it enters from an empty row, eleven sections
// with a gap of blanks after each (21, or 41 after the web page, the greetings
// and the quotation), and 101 blanks at the end. Shown cyclically, the end and
// the start leave 201 blank cells between two passes.

// Runs of blanks, built from tens so the counts can be checked by eye.
#define BLANKS_10 "          "
#define BLANKS_20 BLANKS_10 BLANKS_10
#define BLANKS_100 BLANKS_20 BLANKS_20 BLANKS_20 BLANKS_20 BLANKS_20
#define GAP_21 BLANKS_20 " "
#define GAP_41 BLANKS_20 BLANKS_20 " "

static_assert(sizeof(GAP_21) - 1 == 21);
static_assert(sizeof(GAP_41) - 1 == 41);
static_assert(sizeof(BLANKS_100) - 1 == 100);

#define SECTION_TITLE "TANDRIX - a text-mode intro"

#define SECTION_DATE "Date: 20261207"

#define SECTION_MAKING_1                                                 \
  "\"Everything on this screen is made of characters: one grid of text " \
  "cells, redrawn every frame through an 8x8 font drawn by hand,"

#define SECTION_MAKING_2                                                    \
  "with a world map, a running man, a starfield, a swinging logo and this " \
  "scroller - all of it plain ASCII.\""

#define SECTION_POSTSCRIPT                                                  \
  "P.S. This version shows 40x25 cells on a 320x200 full screen, or 80x60 " \
  "cells in a 640x480 window."

#define SECTION_CONTROLS \
  "Press [ESC] to leave the intro. Press [space] to change part."

#define SECTION_WEB_PAGE \
  "Visit http://example.org/textmode for more text-mode art."

#define SECTION_GREETINGS                                                 \
  "Greetings to all text-mode artists, to everyone who still draws with " \
  "the keyboard, and to every crowd that stays up for one more intro."

#define SECTION_QUOTATION                                                  \
  "Universal Declaration of Human Rights, Article 19: \"Everyone has the " \
  "right to freedom of opinion and expression; this right includes "       \
  "freedom to hold opinions without interference and to seek, receive "    \
  "and impart information and ideas through any media and regardless of "  \
  "frontiers.\""

#define SECTION_NOTICE                                                   \
  "This intro may be copied, shown and passed on freely, unchanged and " \
  "free of charge."

#define SECTION_CONTACT "Contact: textmode@example.org"

const char DEMO_SCROLL_MESSAGE[] = BLANKS_100 SECTION_TITLE GAP_21 SECTION_DATE
    GAP_21 SECTION_MAKING_1 GAP_21 SECTION_MAKING_2 GAP_21 SECTION_POSTSCRIPT
        GAP_21 SECTION_CONTROLS GAP_21 SECTION_WEB_PAGE GAP_41 SECTION_GREETINGS
            GAP_41 SECTION_QUOTATION GAP_41 SECTION_NOTICE GAP_21
                SECTION_CONTACT BLANKS_100 " ";
