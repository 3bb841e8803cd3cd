// instancecopy  asks, as the tester does at start, whether another copy
//               runs: prints "another" or "alone", and alone keeps its lock
//               until stdin closes.

#include "platform/singleinstance.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SingleInstance lock;
    const bool another = lock.anotherRunning();
    std::printf("%s\n", another ? "another" : "alone");
    std::fflush(stdout);
    if (!another) {
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
    }
    return 0;
}
