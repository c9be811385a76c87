function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    newOwner.value = "bob";
    if (RS_SCR.SCR_Priority == "High" {
        newOwner.value = "carol";
    }
}
