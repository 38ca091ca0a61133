#pragma once

#include <QString>

namespace pixbar {

/// Message boxes and file dialogs, so that tests can answer them.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    /// "Błąd" box with an error icon and OK.
    virtual void error(const QString& text) = 0;
    /// "Pytanie" box with a warning icon and Yes/No; true for Yes.
    virtual bool question(const QString& text) = 0;
    /// An open dialog; an empty string when cancelled. `filter` is in Qt's "Name (*.ext)" form.
    virtual QString openFile(const QString& filter, const QString& defaultSuffix,
                             const QString& folder) = 0;
    /// A save dialog; an empty string when cancelled. `selectedFilter` may be changed.
    virtual QString saveFile(const QString& filter, const QString& defaultSuffix) = 0;
    /// An open dialog for a picture, with its own title; an open dialog unless overridden.
    virtual QString openPicture(const QString& title, const QString& filter,
                                const QString& folder) {
        (void)title;
        return openFile(filter, QString(), folder);
    }
};

/// The real boxes and dialogs, without an owner window.
class QtPrompts : public UserPrompts {
public:
    void error(const QString& text) override;
    bool question(const QString& text) override;
    QString openFile(const QString& filter, const QString& defaultSuffix,
                     const QString& folder) override;
    QString saveFile(const QString& filter, const QString& defaultSuffix) override;
    QString openPicture(const QString& title, const QString& filter,
                        const QString& folder) override;
};

} // namespace pixbar
