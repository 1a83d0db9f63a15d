// KestrinIndex: the program's entry. Sets up the application and its look, shows the main
// window and runs the event loop until the window closes.
#include <unistd.h>
#include <QApplication>

#include "app/uLook.h"
#include "app/uMain.h"

int main(int argc, char* argv[]) {
  // The banner's browser engine refuses to start its sandbox as root.
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The banner's browser engine shares OpenGL contexts with the widgets; this must be said
  // before the application object exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // The application title. (A display name would be appended to every window caption.)
  QApplication::setApplicationName(QStringLiteral("Kestrin 증명사진"));
  Kestrin::ApplyLook(app);

  Kestrin::TKestrin_Index mainWindow;
  mainWindow.show();
  // Ask for the focus as well: without a window manager no one else hands it over, and the
  // first activation settles the user ID.
  mainWindow.activateWindow();
  return app.exec();
}
