// The about box: product name, version, legal notice and the maker's web address.
#pragma once

#include <QDialog>

class QLabel;
class TUserInterface;

class TFormAbout final : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(TUserInterface& ui, QWidget* parent = nullptr);

  static QString WebsiteAddress();
  void lblWebsiteClick();

  QLabel* Picture = nullptr;
  QLabel* lblProductName = nullptr;
  QLabel* lblProductVersion = nullptr;
  QLabel* lblLegalCopyright = nullptr;
  QLabel* lblWebsite = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;      // FormKeyPress
  void mousePressEvent(QMouseEvent* event) override;  // CloseClick
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TUserInterface& FUI;
};
