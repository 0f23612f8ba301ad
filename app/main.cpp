#include "app/DemoApp.h"

int main(int argc, char** argv) {
    CDemoApp app(argc, argv);
    return app.Run();
}
