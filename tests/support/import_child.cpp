// Runs one real import, answering the dialogs itself: import_child CATALOGUE FILE.
// The crash test starts it and kills it at random moments.

#include "RunCommands.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const QString notice =
        ondiva::testing::importAnsweringYes(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    std::printf("%s\n", notice.toUtf8().constData());
    return 0;
}
