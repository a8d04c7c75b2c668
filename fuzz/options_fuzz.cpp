// The service's command line: the bytes are split at NUL into arguments. Whatever they hold,
// parsing ends in one of its outcomes, and a run gets settings it can use.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"glimmerix-server"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) current += char(data[i]);
        if (data[i] == 0 || i + 1 == size) arguments.push_back(current), current.clear();
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    ServerOptions options;
    std::string error;
    ParseOutcome outcome = parseOptions(int(argv.size()), argv.data(), &options, &error);
    if (outcome == ParseOutcome::Error && error.empty()) std::abort();
    if (outcome == ParseOutcome::Run && (options.port < 0 || options.port > 65535)) std::abort();
    return 0;
}
