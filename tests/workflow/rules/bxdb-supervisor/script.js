// The requester's supervisor approves; the name is bound, so a quote in it does no harm.
function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    const rows = BXDB.query("SELECT USER_ID, Supervisor_User_ID FROM LU_USER WHERE USER_ID = ?",
                            RS_SCR.SCR_Request_ID);
    if (rows.length === 1)
        newOwner.value = rows[0].Supervisor_User_ID;
}
