#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/output.h"

int main(int argc, char** argv) {
    OccupyClosedStandardDescriptors();
    FdStreamBuf outBuffer(1), errBuffer(2);
    std::ostream out(&outBuffer), err(&errBuffer);
    return RunCli(std::vector<std::string>(argv + 1, argv + argc), out, err);
}
