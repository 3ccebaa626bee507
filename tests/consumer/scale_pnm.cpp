// scale_pnm IN OUT W H: reads the PNM file IN, scales it to W x H and writes
// it to OUT as P6. Uses nothing but the installed image library.
#include <tandrix/img/img.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: scale_pnm IN OUT W H\n");
    return 2;
  }
  Image* image = IMGLoad(argv[1]);
  if (!image) return 1;
  Image* scaled = IMGScale(image, std::atoi(argv[3]), std::atoi(argv[4]));
  const bool saved = scaled && IMGSave(scaled, argv[2]);
  IMGFree(&scaled);
  IMGFree(&image);
  return saved ? 0 : 1;
}
