-- A consultation about product 10000000001 that has reached the service and a
-- general one that has not.
INSERT INTO PROD_CONSULT (CONSULT_ID, PRODUCT_ID, ADDTIME, CONTENT, TEL1, TEL2, TEL3, MOBILENUM, EMAIL,
                          SENTSTATUS, ITYPE, USERID) VALUES
  (2, '10000000001', '2026-11-02 10:15:00', '请问最小起订量是多少？', '', '', '', '13800000000', '', 2, 1, ''),
  (-2, '', '2026-11-03 09:00:00', 'Do you ship abroad?', '', '', '', '', 'visitor@example.com', 2, 1, '');
