#pragma once

#include <core/ioptionspage.h>

namespace VcsBase {

namespace Constants {
const char VCS_SETTINGS_CATEGORY[] = "V.Version Control";
}

// An options page listed under the host's version-control category.
class VcsBaseOptionsPage : public Core::IOptionsPage
{
    Q_OBJECT
public:
    explicit VcsBaseOptionsPage(QObject *parent = nullptr);
    ~VcsBaseOptionsPage() override;
};

} // namespace VcsBase
