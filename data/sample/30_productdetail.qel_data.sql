-- The visitor looked at the studio case after its last change.
INSERT INTO CASE_EXTEND (CASE_ID, LASTTIME) VALUES ('204', 1700000000001);
