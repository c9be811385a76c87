PARAMETERS pWeekStart DateTime, pUser Text, pWorkshop Long;
SELECT SCR.SCR_Owner_User_ID, SCR.SCR_Category, SCR.SCR_Number, SCR.SCR_Owner_Target_Date,
       SCR.SCR_Title, SCR.SCR_StartDate, SCR.SCR_Percent_Complete,
       ATTACH.Attach_Title, ATTACH.Attach_Owner, ATTACH.Attach_Date
FROM SCR INNER JOIN ATTACH ON ATTACH.SCR_Number = SCR.SCR_Number
WHERE ATTACH.Attach_Type = 'M' AND ATTACH.Attach_Title LIKE 'Status%' AND ATTACH.Attach_Date >= [pWeekStart]
AND COALESCE(SCR.SCR_Template, 0) = 0
AND (COALESCE(SCR.SCR_Sensitive, 0) = 0 OR SCR.SCR_Owner_User_ID = [pUser] OR SCR.SCR_Request_ID = [pUser])
AND SCR.SCR_Owner_User_ID IN (SELECT GROUPLINK.USER_ID FROM GROUPLINK WHERE GROUPLINK.GROUP_ID = [pWorkshop])
ORDER BY SCR.SCR_Owner_User_ID, SCR.SCR_Category, SCR.SCR_Owner_Target_Date, SCR.SCR_Number, ATTACH.Attach_Date