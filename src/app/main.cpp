#include "app/CSermidaApp.h"

int main(int argc, char** argv) {
    CSermidaApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
