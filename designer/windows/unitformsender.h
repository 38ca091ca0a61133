#pragma once

#include <QDialog>

class QLabel;

namespace pixbar {

/// "Komunikacja": a small dark window that says what is being sent.
class TFormSenderPopup : public QDialog {
    Q_OBJECT
public:
    explicit TFormSenderPopup(QWidget* parent = nullptr);
    QLabel* LabelDescription = nullptr;
};

} // namespace pixbar
