  -- first
  DROP TABLE ITEM