// bazaarnest-images FOLDER: draws the app bundle's images into FOLDER.
#include <iostream>

#include "Foundation/NSObject.h"
#include "tools/appimages/AppImages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: bazaarnest-images FOLDER\n";
        return 2;
    }
    NSAutoreleasePool pool;
    size_t written = 0;
    if (!writeAppImages(argv[1], &written)) return 1;
    std::cout << "bazaarnest-images: " << written << " images in " << argv[1] << "\n";
    return 0;
}
