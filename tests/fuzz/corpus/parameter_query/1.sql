PARAMETERS pWeekStart DateTime, pUser Text, pWorkshop Long;
SELECT SCR.SCR_Category, SCR.SCR_Owner_User_ID, SCR.SCR_Number, SCR.SCR_Title, SCR.SCR_StartDate,
       ROUTE.Route_Date_In AS Date_Completed
FROM SCR INNER JOIN ROUTE ON ROUTE.SCR_Number = SCR.SCR_Number
WHERE ROUTE.Route_Status = 'C' AND ROUTE.Route_Date_In >= [pWeekStart]
AND NOT EXISTS (SELECT 1 FROM ROUTE LATER WHERE LATER.SCR_Number = ROUTE.SCR_Number
    AND LATER.Route_Status = 'C' AND (LATER.Route_Date_In > ROUTE.Route_Date_In
    OR (LATER.Route_Date_In = ROUTE.Route_Date_In AND LATER.Route_Number > ROUTE.Route_Number)))
AND COALESCE(SCR.SCR_Template, 0) = 0
AND (COALESCE(SCR.SCR_Sensitive, 0) = 0 OR SCR.SCR_Owner_User_ID = [pUser] OR SCR.SCR_Request_ID = [pUser])
AND SCR.SCR_Owner_User_ID IN (SELECT GROUPLINK.USER_ID FROM GROUPLINK WHERE GROUPLINK.GROUP_ID = [pWorkshop])
ORDER BY SCR.SCR_Category, SCR.SCR_Owner_User_ID, ROUTE.Route_Date_In, SCR.SCR_Number