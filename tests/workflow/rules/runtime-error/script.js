function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    newOwner.value = "bob";
    newGroup.value = 20;
    newOwner.value = lookUpDeputy(RS_SCR.SCR_Owner_User_ID);
}
