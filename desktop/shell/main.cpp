// Tessera: the desktop program.

#include "desktop/shell/TesseraApp.h"

int main(int argc, char** argv) {
  CTesseraApp app(argc, argv);
  return app.Run();
}
