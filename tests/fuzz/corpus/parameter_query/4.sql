PARAMETERS pToday DateTime, pUser Text, pWorkshop Long;
SELECT SCR.SCR_Owner_User_ID, SCR.SCR_Category, SCR.SCR_Number, SCR.SCR_Title, SCR.SCR_StartDate, SCR.SCR_Owner_Target_Date, SCR.SCR_Firm_Target_Date, SCR.SCR_Request_ID
FROM SCR
WHERE SCR.SCR_Status = 'A' AND SCR.SCR_Owner_Target_Date IS NOT NULL
AND SCR.SCR_Owner_Target_Date < [pToday]
AND COALESCE(SCR.SCR_Template, 0) = 0
AND (COALESCE(SCR.SCR_Sensitive, 0) = 0 OR SCR.SCR_Owner_User_ID = [pUser] OR SCR.SCR_Request_ID = [pUser])
AND SCR.SCR_Owner_User_ID IN (SELECT GROUPLINK.USER_ID FROM GROUPLINK WHERE GROUPLINK.GROUP_ID = [pWorkshop])
ORDER BY SCR.SCR_Owner_User_ID, SCR.SCR_Category, SCR.SCR_Number