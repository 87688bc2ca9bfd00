-- Texts of the failures a host meets without a reachable service: the
-- transport's codes (no service address, a failed transfer, a missing file)
-- and a service reply without an overall status. Error texts are read in
-- language 3, like the catalogue.
INSERT INTO ERRORINFO (ERRORCODE, ERRORLEVE) VALUES
  ('500001', '2'),
  ('500003', '2'),
  ('500009', '2'),
  ('19999', '2');
INSERT INTO ERRORINFO_LANG (ERRORCODE, LANG, ERRORDESC) VALUES
  ('500001', 3, '未设置服务地址'),
  ('500003', 3, '网络连接失败，请稍后重试'),
  ('500009', 3, '服务器上没有该文件'),
  ('19999', 3, '服务器返回了无法识别的结果');
