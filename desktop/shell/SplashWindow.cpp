#include "desktop/shell/SplashWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimerEvent>

#include "desktop/shell/Artwork.h"

CSplashWindow::CSplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(art::SplashPicture()) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(picture_.size());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
  timer_ = startTimer(kShowMilliseconds);
}

void CSplashWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

void CSplashWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_) return;
  killTimer(timer_);
  emit Closed();
  close();
}

void CSplashWindow::ShowAndWait() {
  QPointer<CSplashWindow> splash = new CSplashWindow;
  splash->show();
  // Unlike a plain sleep, the wait keeps the picture painted.
  QElapsedTimer clock;
  clock.start();
  while (splash && clock.elapsed() < kShowMilliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }
}
