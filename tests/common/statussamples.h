#pragma once

// "tf status -recursive -format:xml" as the cross-platform client prints it: a rename with its
// source item among the pending changes, and a detected add among the candidates. The plugin's
// reader and the stand-in's writer are both held to it.
inline constexpr char crossPlatformStatusSample[] = R"(<?xml version="1.0" encoding="utf-8"?>
<status>
<pending-changes>
<pending-change server-item="$/P/F/New.java" version="217" owner="ann" date="2017-02-08T11:12:06.766-0500"
  lock="none" change-type="rename" workspace="W1" source-item="$/P/F/Old.java" computer="PC1"
  local-item="/home/ann/w/F/New.java" file-type="windows-1252"/>
</pending-changes>
<candidate-pending-changes>
<pending-change server-item="$/P/test.txt" version="0" owner="ann" date="2016-07-13T12:36:51.060-0400"
  lock="none" change-type="add" workspace="W1" computer="PC1" local-item="/home/ann/w/test.txt"/>
</candidate-pending-changes>
</status>
)";

// The same rename as tf.exe prints it ("tf status /recursive /format:xml"): a PendingSet per
// workspace names it, its owner and computer; the change's attributes have short names, the
// change types are separated by blanks and the encoding is a code page. tf.exe writes no lock.
inline constexpr char tfExeStatusSample[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Status>
  <PendingSet computer="PC1" name="W1" owner="ann" ownerdisp="Ann" ownership="0">
    <PendingChanges>
      <PendingChange chg="Rename" date="2017-02-08T11:12:06.766-0500" enc="1252" hash=""
        item="$/P/F/New.java" itemid="12" local="C:\w\F\New.java" pcid="-5" psn="W1" pso="ann"
        psod="Ann" srcitem="$/P/F/Old.java" svrfm="0" type="file" uhash="" ver="217" />
    </PendingChanges>
  </PendingSet>
</Status>
)";
