// Urgent work goes to the on-call lead of group 30; everything else follows the stage.
function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    if (RS_SCR.SCR_Priority === "Urgent") {
        newOwner.value = "carol";
        newGroup.value = 30;
    } else {
        newOwner.value = propOwner;
        newGroup.value = propGroup;
    }
}
