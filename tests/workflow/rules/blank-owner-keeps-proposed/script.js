// Blanks in the new owner hand the task to the stage's own owner and workshop; the group set
// here is dropped with them.
function SCRMain(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    newOwner.value = "   ";
    newGroup.value = 99;
}
