// Orders above 10,000 skip straight to the board; the owner is left as it was on entry.
function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    if (Number(RS_SCR.SCR_Custom_Field) > 10000)
        stage.value = "  Board Approval ";
}
