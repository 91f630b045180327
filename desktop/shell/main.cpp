// Tessera: the desktop program.

#include <iostream>

#include "desktop/shell/StartOptions.h"
#include "desktop/shell/TesseraApp.h"

int main(int argc, char** argv) {
  // Answered before the application is made, which needs a display.
  if (const int answered = desktop::AnswerBeforeWindow(argc, argv, std::cout, std::cerr); answered >= 0)
    return answered;
  CTesseraApp app(argc, argv);
  return app.Run();
}
