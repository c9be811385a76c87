PARAMETERS pTitle Text, pNum Long;
SELECT Title FROM ITEM -- not by [pTitle] any more
WHERE /* [pTitle] or */ Item_Number = [pNum] -- [pTitle]