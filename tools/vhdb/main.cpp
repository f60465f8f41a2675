#include "tools/vhdb/Vhdb.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return vhdb::run(argc, argv, std::cout, std::cerr);
    } catch (...) {
        // Only a failure to report a failure ends here.
        std::fputs("vhdb: An unexpected error stopped the program.\n", stderr);
        return 1;
    }
}
