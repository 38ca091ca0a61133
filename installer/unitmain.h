#pragma once

#include "installplatform.h"
#include "installscript.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

/// The installer's window: the log of the run on the left, the button panel on the right.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    /// Shows the error that stopped a run; a message box unless a test answers it.
    using ErrorBox = std::function<void(const QString& text)>;

    explicit TForm1(
        std::unique_ptr<instalacja::InstallPlatform> platform = instalacja::makeSystemPlatform(),
        QWidget* parent = nullptr);

    void setErrorBox(ErrorBox errorBox) { m_errorBox = std::move(errorBox); }
    const instalacja::ScriptInterpreter& interpreter() const { return m_interpreter; }

    /// "Rozpocznij": runs install.script; "Zakończ": closes the window.
    void CategoryButtons1Categories0Items0Click();
    /// "Anuluj": closes the window.
    void CategoryButtons1Categories0Items1Click();

    QPlainTextEdit* Memo1 = nullptr;
    QFrame* CategoryButtons1 = nullptr;
    QLabel* CategoryButtons1Categories0 = nullptr;
    QPushButton* CategoryButtons1Categories0Items0 = nullptr;
    QPushButton* CategoryButtons1Categories0Items1 = nullptr;

private:
    void FormCreate();
    void appendLog(const std::string& line);

    std::unique_ptr<instalacja::InstallPlatform> m_platform;
    instalacja::ScriptInterpreter m_interpreter;
    ErrorBox m_errorBox;
};
