-- A small area tree: the top area, two provinces, their cities and a few
-- districts, in Chinese (LANGID 3) and English (1).
INSERT INTO SYS_AREA (AR_ID, AREAID, SORT) VALUES
  ('1', '86', 1),
  ('2', '8601', 1),
  ('3', '860101', 1),
  ('4', '86010101', 1),
  ('5', '86010102', 2),
  ('6', '860102', 2),
  ('7', '8602', 2),
  ('8', '860201', 1),
  ('9', '86020101', 1);

INSERT INTO SYS_AREA_LANG (AR_ID, LANGID, NAME) VALUES
  ('1', 3, '中国'), ('1', 1, 'China'),
  ('2', 3, '浙江省'), ('2', 1, 'Zhejiang'),
  ('3', 3, '杭州市'), ('3', 1, 'Hangzhou'),
  ('4', 3, '西湖区'), ('4', 1, 'Xihu'),
  ('5', 3, '上城区'), ('5', 1, 'Shangcheng'),
  ('6', 3, '宁波市'), ('6', 1, 'Ningbo'),
  ('7', 3, '江苏省'), ('7', 1, 'Jiangsu'),
  ('8', 3, '南京市'), ('8', 1, 'Nanjing'),
  ('9', 3, '玄武区'), ('9', 1, 'Xuanwu');
