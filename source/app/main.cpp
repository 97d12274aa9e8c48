#include "application.h"
#include "startup.h"

int main(int argc, char **argv)
{
    Startup::prepareProcess();
    Application application(argc, argv);
    return Startup::run(application, Startup::parseCommandLine(application));
}
