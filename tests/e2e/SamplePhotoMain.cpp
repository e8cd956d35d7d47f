// tessaron-sample-photo FILE.png|FILE.jpg [WIDTH HEIGHT]: writes the photo-like sample the
// demo prints (1200x1800 pixels, a 4x6 in print at 300 dpi, unless told otherwise).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SampleImages.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: %s FILE.png|FILE.jpg [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const int width = argc == 4 ? atoi(argv[2]) : 1200, height = argc == 4 ? atoi(argv[3]) : 1800;
    if (width < 16 || height < 16 || width > 20000 || height > 20000) {
        fprintf(stderr, "%s: size out of range (16 to 20000 pixels)\n", argv[0]);
        return 2;
    }
    const bool jpeg = path.size() > 4 && (path.ends_with(".jpg") || path.ends_with(".jpeg"));
    const bool ok = jpeg ? tessaron::test::writeSampleJpeg(path, width, height)
                         : tessaron::test::writeSamplePng(path, width, height);
    if (!ok) {
        fprintf(stderr, "%s: cannot write %s (it must not exist yet)\n", argv[0], path.c_str());
        return 1;
    }
    return 0;
}
