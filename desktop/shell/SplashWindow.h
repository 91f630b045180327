#pragma once
// The picture shown while the program starts. It closes itself when its one
// timer fires.

#include <QWidget>

class CSplashWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShowMilliseconds = 2000;

  CSplashWindow();
  // Shows the picture centred on the screen, keeps it painted for
  // kShowMilliseconds, and leaves it to close itself.
  static void ShowAndWait();

 signals:
  void Closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QPixmap picture_;
  int timer_ = 0;
};
