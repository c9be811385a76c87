// The entry point is misnamed, so nothing is called and the stage's owner stands.
function Main(curOwner, curGroup, propOwner, propGroup, isServer, stage, newOwner, newGroup) {
    newOwner.value = "zed";
    stage.value = "Nowhere";
}
