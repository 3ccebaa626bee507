// make_font: builds the glyph sheet image from its editable text source.
//
//   make_font <source.txt> <out.ppm>
//   make_font --version
//
// Exit status 0 once the sheet is written; 1 when the source cannot be read or
// is malformed (the message names the line) or the image cannot be written;
// 2 on wrong usage.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "img/img.h"
#include "tools/glyph_source.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("make_font (tandrix) %s\n", INTRO_VERSION);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_font <source.txt> <out.ppm>\n");
    return 2;
  }
  const char* sourcePath = argv[1];
  const char* outPath = argv[2];

  std::ifstream in(sourcePath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "make_font: cannot read %s\n", sourcePath);
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();

  GlyphSet set;
  std::string error;
  if (!GLYPHParse(text.str(), &set, &error)) {
    std::fprintf(stderr, "make_font: %s: %s\n", sourcePath, error.c_str());
    return 1;
  }

  Image* sheet = GLYPHSheet(set, GLYPH_INK);
  if (!sheet) {
    std::fprintf(stderr, "make_font: out of memory\n");
    return 1;
  }
  const bool saved = IMGSave(sheet, outPath);
  IMGFree(&sheet);
  if (!saved) {
    std::fprintf(stderr, "make_font: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}
