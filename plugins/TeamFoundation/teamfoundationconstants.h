#pragma once

namespace TeamFoundation {
namespace Constants {

// One identifier names the version control, its options page and its checkout wizard.
const char TEAMFOUNDATION_ID[] = "T.TeamFoundation";
const char TEAMFOUNDATION_DISPLAY_NAME[] = "Team Foundation";
const char SETTINGS_GROUP[] = "TeamFoundation";
// In the settings group, beside the settings: the configuration (client kind and tf path)
// for which the pane last said why the commands are disabled.
const char DISABLED_NOTICE_KEY[] = "DisabledNoticeShownFor";
const char ICON_PATH[] = ":/teamfoundation/images/teamfoundation.png";

const char MENU_ID[] = "TeamFoundation.Menu";
const char LOCATOR_ID[] = "Team Foundation";
const char LOCATOR_PREFIX[] = "tfs";

// Commands on the current file.
const char ADD[] = "TeamFoundation.Add";
const char DELETE_FILE[] = "TeamFoundation.Delete";
const char COMPARE[] = "TeamFoundation.Compare";
const char UNDO[] = "TeamFoundation.Undo";
const char CHECKIN[] = "TeamFoundation.CheckIn";
const char ANNOTATE[] = "TeamFoundation.Annotate";
const char HISTORY[] = "TeamFoundation.History";
const char GET_LATEST[] = "TeamFoundation.GetLatest";
// Commands on the current top-level directory.
const char HISTORY_PROJECT[] = "TeamFoundation.HistoryProject";
const char GET_LATEST_PROJECT[] = "TeamFoundation.GetLatestProject";
const char UNDO_PROJECT[] = "TeamFoundation.UndoProject";
const char COMPARE_PROJECT[] = "TeamFoundation.CompareProject";
const char CHECKIN_PROJECT[] = "TeamFoundation.CheckInProject";

} // namespace Constants
} // namespace TeamFoundation
