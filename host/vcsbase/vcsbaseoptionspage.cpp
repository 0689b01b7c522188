#include "vcsbaseoptionspage.h"

namespace VcsBase {

VcsBaseOptionsPage::VcsBaseOptionsPage(QObject *parent) : Core::IOptionsPage(parent)
{
    setCategory(Core::Id(Constants::VCS_SETTINGS_CATEGORY));
    setDisplayCategory(tr("Version Control"));
}

VcsBaseOptionsPage::~VcsBaseOptionsPage() = default;

} // namespace VcsBase
