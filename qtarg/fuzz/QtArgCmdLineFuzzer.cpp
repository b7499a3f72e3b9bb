// Feeds arbitrary command lines to QtArgCmdLine. The input is split at NUL bytes into argv elements and parsed
// with main's arguments plus a set of flags; any failure must be a QtArgBaseException, and a line that parses
// must leave the arguments consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qtarg/QtArgExceptions.h"
#include "qtarg/tests/QtArgTestFixtures.h"

using namespace qtargtest;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> elements;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            elements.push_back(current);
            current.clear();
        } else {
            current.push_back(char(data[i]));
        }
    }
    elements.push_back(current);

    Argv argv(elements);
    MainArguments mainArgs;
    FlagArguments flagArgs;
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    mainArgs.registerWith(cmdLine);
    flagArgs.registerWith(cmdLine);

    std::vector<const QtArg*> all = mainArgs.all();
    const std::vector<const QtArg*> flags = flagArgs.all();
    all.insert(all.end(), flags.begin(), flags.end());

    bool parsed = false;
    try {
        cmdLine.parse();
        parsed = true;
    } catch (const QtArgBaseException& e) {
        require(!e.message().isEmpty());
    }

    QStringList names;
    for (const QtArg* arg : all) {
        require(!arg->isDefined() || arg->isPresent());
        require(arg->isDefined() == arg->value().isValid());
        names += arg->names();
    }
    if (parsed) {
        require(!(mainArgs.install.isDefined() && mainArgs.update.isDefined()));
        for (const QtArg* arg : all)
            require(!arg->isPresent() || arg->isDefined());
        require(!flagArgs.level.isDefined() || flagArgs.digits.check(flagArgs.level.value()));
    }
    for (QtArgIface* arg : cmdLine.argumentList())
        require(!arg->usageLine(names).isEmpty());
    return 0;
}
