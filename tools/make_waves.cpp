// make_waves OUTDIR: writes the demo run's sounds, the three tones and the error sound, into OUTDIR.

#include <iostream>

#include "demo/demo_waves.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_waves OUTDIR\n";
        return 2;
    }
    return pelorin::WriteDemoWaves(argv[1]) ? 0 : 1;
}
