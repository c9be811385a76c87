// Closing stage: stamp the task done. Column names may be spelt in any case.
function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    RS_SCR.SCR_Status = "C";
    RS_SCR.scr_percent_complete = 100;
    RS_SCR.SCR_Owner_Target_Date = "2026-12-24 17:00:00";
    RS_SCR.SCR_Comments_AsText = RS_SCR.SCR_Comments_AsText + " (closed by rule)";
}
