// Starts and ends threads one after the other, each parsing a service answer as the web client's
// thread does, and says how many ended; the process crashing on the way is the fault it looks for.
// Run by the Windows checks, next to the program's libraries:
//   threadends [--jit] [COUNT]
// --jit leaves the regular expressions' JIT on, as the program had it before.

#include "base/regexjit.h"
#include "webclient/kvaluemap.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    bool jit = false;
    int count = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--jit") == 0)
            jit = true;
        else
            count = std::atoi(argv[i]);
    }
    if (!jit)
        turnRegularExpressionJitOff();
    QCoreApplication app(argc, argv);
    // The threads end while this one keeps allocating and freeing small blocks, as the window's
    // thread does while the web client's thread ends: storage freed too early is reused at once.
    std::atomic<int> parsed { 0 };
    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<std::unique_ptr<char[]>> blocks(64);
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create([&parsed] {
            QByteArray answer("result=\"0\"\nsession=\"abc\"\n");
            QBuffer device(&answer);
            device.open(QIODevice::ReadOnly);
            if (parseReply(&device).value(QStringLiteral("session")) == "abc")
                ++parsed;
        }));
        threads.back()->start();
        while (threads.size() > 4 || (i == count - 1 && !threads.empty())) {
            for (int j = 0; j < 64; ++j) {
                blocks[j].reset(new char[8 + j % 32]);
                std::memset(blocks[j].get(), 0x5a, 8 + j % 32);
            }
            if (threads.front()->isFinished()) {
                threads.front()->wait();
                threads.erase(threads.begin());
            }
        }
    }
    std::printf("%d threads ended, %d answers parsed\n", count, parsed.load());
    std::fflush(stdout);
    return parsed.load() == count ? 0 : 1;
}
