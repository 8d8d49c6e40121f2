// The dialog by which the user adds a camera by hand.
#pragma once

#include <QDialog>

class TFormAddDevice final : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAddDevice(QWidget* parent = nullptr);
};
