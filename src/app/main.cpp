#include <string>
#include <vector>

#include "app/app.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    return runGlimmerix(arguments);
}
