#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/CSermidaApp.h"
#include "app/PrintToPdf.h"

int main(int argc, char** argv) {
    // A write past the file-size limit must fail the save (the document keeps
    // its text and says why), not kill the program with the text unsaved.
    std::signal(SIGXFSZ, SIG_IGN);

    if (argc >= 2 && !std::strcmp(argv[1], "--print")) {
        if (argc != 4) {
            std::fputs("usage: sermida --print FILE OUT.pdf\n", stderr);
            return 2;
        }
        return PrintFileToPdf(argc, argv, argv[2], argv[3]);
    }
    CSermidaApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
