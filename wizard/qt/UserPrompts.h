// What the wizard asks of the user outside its own pages: message boxes with OK only, and the
// file dialog that picks a package. The pages go through this seam so that tests can record what
// would be shown and answer the dialog. It decides nothing about which message to show.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "install/StringTable.h"

class QWidget;

class UserPrompts {
public:
    enum class Icon { none, warning };

    virtual ~UserPrompts() = default;

    // A modal message box owned by `owner`, with the string `message` and its arguments, OK
    // only.
    virtual void showMessage(QWidget* owner, StringId message,
                             const std::vector<std::string>& arguments, const QString& caption,
                             Icon icon) = 0;

    // The open-file dialog for a package: the chosen file's full path, or nullopt on Cancel.
    virtual std::optional<QString> choosePackageFile(QWidget* owner) = 0;
};

// The real prompts on Qt Widgets.
class QtUserPrompts final : public UserPrompts {
public:
    void showMessage(QWidget* owner, StringId message, const std::vector<std::string>& arguments,
                     const QString& caption, Icon icon) override;
    std::optional<QString> choosePackageFile(QWidget* owner) override;
};
