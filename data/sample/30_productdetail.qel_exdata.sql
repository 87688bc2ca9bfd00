-- Sample detail pages: the D750 camera (10000000001, models 0001 and 0002)
-- has every tab; the espresso machine (10000000008, model 0001) has
-- parameters, pictures and no introduction; the bookshelf speakers
-- (10000000005) have pictures and a video only. Language 3 is the one the
-- client reads; language 1 rows carry the English texts.

INSERT INTO PRODUCT_INTRODUCT (PRODINTRO_ID, PRODUCT_ID, PATH, SORT) VALUES
  ('7301', '10000000001', 'intro/d750_sensor.html', 1),
  ('7302', '10000000001', 'intro/d750_autofocus.html', 2);
INSERT INTO PRODUCT_INTRODUCT_LANG (PRODINTRO_ID, LANGID, NAME, "DESC", TIPS) VALUES
  ('7301', 3, '全画幅传感器', '两千四百万像素', ''),
  ('7302', 3, '自动对焦', '五十一点对焦系统', ''),
  ('7301', 1, 'Full-frame sensor', '24 megapixels', ''),
  ('7302', 1, 'Autofocus', '51-point system', '');

INSERT INTO PARAM_UNIT (PARAMUNIT_ID, SORT) VALUES ('1', 1), ('2', 2), ('3', 3), ('4', 4);
INSERT INTO PARAM_UNIT_LANG (PARAMUNIT_ID, LANGID, NAME) VALUES
  ('1', 3, '万像素'), ('1', 1, 'MP'),
  ('2', 3, '克'), ('2', 1, 'g'),
  ('3', 3, '瓦'), ('3', 1, 'W'),
  ('4', 3, '升'), ('4', 1, 'L');

-- The lens parameter has no unit.
INSERT INTO PRODUCT_PARAMETER (PARAM_ID, PRODUCT_ID, PARAMUNIT_ID, PARATYPE, VALTYPE, ISUSE, PRODNUM) VALUES
  ('7001', '10000000001', '1', 1, 1, 1, 2),
  ('7002', '10000000001', '2', 1, 1, 1, 2),
  ('7003', '10000000001', '', 1, 2, 1, 2),
  ('7011', '10000000008', '3', 1, 1, 1, 1),
  ('7012', '10000000008', '4', 1, 1, 1, 1);
INSERT INTO PRODUCT_PARAMETER_LANG (PARAM_ID, LANGID, PARAMNAME, TIPS, ALIAS1, ALIAS2, OPPIC, SHOWFLAG) VALUES
  ('7001', 3, '有效像素', '', '像素', '', '', 1),
  ('7002', 3, '重量', '含电池', '', '', '', 1),
  ('7003', 3, '镜头', '', '', '', '', 1),
  ('7011', 3, '功率', '', '', '', '', 1),
  ('7012', 3, '水箱容量', '', '', '', '', 1),
  ('7001', 1, 'Resolution', '', 'Pixels', '', '', 1),
  ('7002', 1, 'Weight', 'With battery', '', '', '', 1),
  ('7003', 1, 'Lens', '', '', '', '', 1),
  ('7011', 1, 'Power', '', '', '', '', 1),
  ('7012', 1, 'Water tank', '', '', '', '', 1);

INSERT INTO PROD_PRODPARAMS (PRODUCT_ID, PARAM_ID, PARAMUNIT_ID, VALTYPE, VALUE, SORT) VALUES
  ('100000000010001', '7001', '1', 1, '2432', 1),
  ('100000000010001', '7002', '2', 1, '750', 2),
  ('100000000010001', '7003', '', 2, '无', 3),
  ('100000000010002', '7001', '1', 1, '2432', 1),
  ('100000000010002', '7002', '2', 1, '1230', 2),
  ('100000000010002', '7003', '', 2, '24-120mm', 3),
  ('100000000080001', '7011', '3', 1, '1450', 1),
  ('100000000080001', '7012', '4', 1, '2', 2);

INSERT INTO PROD_MODELPICS (PRODUCT_ID, RES_ID, RES_TYPE) VALUES
  ('100000000010001', '7101', 1),
  ('100000000010002', '7102', 1);

INSERT INTO PICGROUP (GROUP_ID, SORT) VALUES ('1', 1), ('2', 2);
INSERT INTO PICGROUP_LANG (GROUP_ID, LANGID, NAME) VALUES
  ('1', 3, '外观'), ('2', 3, '细节'),
  ('1', 1, 'Exterior'), ('2', 1, 'Details');

INSERT INTO PRODUCT_RESOURCE (PRODUCT_ID, RES_ID, RES_TYPE) VALUES
  ('10000000001', '7111', 1),
  ('10000000001', '7112', 1),
  ('10000000001', '7113', 1),
  ('10000000001', '8001', 2),
  ('10000000008', '7141', 1),
  ('10000000005', '7151', 1),
  ('10000000005', '8003', 2);

INSERT INTO PICTURE (RES_ID, PATH, STATUS, EXTS, THUMB1, THUMB2, IMG, GROUP_ID) VALUES
  ('7101', 'detail/d750_body.jpg', 1, '.jpg', 'detail/d750_body_s.jpg', 'detail/d750_body_m.jpg', 'detail/d750_body.jpg', ''),
  ('7102', 'detail/d750_kit.jpg', 1, '.jpg', 'detail/d750_kit_s.jpg', 'detail/d750_kit_m.jpg', 'detail/d750_kit.jpg', ''),
  ('7111', 'detail/d750_front.jpg', 1, '.jpg', 'detail/d750_front_s.jpg', 'detail/d750_front_m.jpg', 'detail/d750_front.jpg', '1'),
  ('7112', 'detail/d750_back.jpg', 1, '.jpg', 'detail/d750_back_s.jpg', 'detail/d750_back_m.jpg', 'detail/d750_back.jpg', '1'),
  ('7113', 'detail/d750_mount.jpg', 1, '.jpg', 'detail/d750_mount_s.jpg', 'detail/d750_mount_m.jpg', 'detail/d750_mount.jpg', '2'),
  ('7121', 'report/d750_noise.jpg', 1, '.jpg', 'report/d750_noise_s.jpg', 'report/d750_noise_m.jpg', 'report/d750_noise.jpg', ''),
  ('7122', 'report/d750_range.jpg', 1, '.jpg', 'report/d750_range_s.jpg', 'report/d750_range_m.jpg', 'report/d750_range.jpg', ''),
  ('7131', 'case/studio.jpg', 1, '.jpg', 'case/studio_s.jpg', 'case/studio_m.jpg', 'case/studio.jpg', ''),
  ('7141', 'detail/espresso.jpg', 1, '.jpg', 'detail/espresso_s.jpg', 'detail/espresso_m.jpg', 'detail/espresso.jpg', '1'),
  ('7151', 'detail/speakers.jpg', 1, '.jpg', 'detail/speakers_s.jpg', 'detail/speakers_m.jpg', 'detail/speakers.jpg', '1');
INSERT INTO PICTURE_LANG (RES_ID, LANGID, NAME, "DESC", TIPS) VALUES
  ('7101', 3, 'D750 机身', '', ''),
  ('7102', 3, 'D750 套机', '', ''),
  ('7111', 3, '正面', '', ''),
  ('7112', 3, '背面', '', ''),
  ('7113', 3, '卡口', '', ''),
  ('7121', 3, '噪点测试', '', ''),
  ('7122', 3, '动态范围测试', '', ''),
  ('7131', 3, '摄影棚', '', ''),
  ('7141', 3, '咖啡机', '', ''),
  ('7151', 3, '音箱', '', ''),
  ('7101', 1, 'D750 body', '', ''),
  ('7102', 1, 'D750 kit', '', ''),
  ('7111', 1, 'Front', '', ''),
  ('7112', 1, 'Back', '', ''),
  ('7113', 1, 'Mount', '', ''),
  ('7121', 1, 'Noise test', '', ''),
  ('7122', 1, 'Dynamic range test', '', ''),
  ('7131', 1, 'Studio', '', ''),
  ('7141', 1, 'Espresso machine', '', ''),
  ('7151', 1, 'Speakers', '', '');

INSERT INTO VIDEO (RES_ID, PATH, STATUS, IMG, THUMB1, THUMB2) VALUES
  ('8001', 'video/d750.mp4', 1, 'video/d750.jpg', 'video/d750_s.jpg', 'video/d750_m.jpg'),
  ('8002', 'video/studio.mp4', 1, 'video/studio.jpg', 'video/studio_s.jpg', 'video/studio_m.jpg'),
  ('8003', 'video/speakers.mp4', 1, 'video/speakers.jpg', 'video/speakers_s.jpg', 'video/speakers_m.jpg');
INSERT INTO VIDEO_LANG (RES_ID, LANGID, NAME, "DESC", TIPS) VALUES
  ('8001', 3, 'D750 上手', '', ''),
  ('8002', 3, '摄影棚实拍', '', ''),
  ('8003', 3, '试听', '', ''),
  ('8001', 1, 'D750 hands-on', '', ''),
  ('8002', 1, 'In the studio', '', ''),
  ('8003', 1, 'Listening', '', '');

INSERT INTO TEXT (RES_ID, STATUS, PATH) VALUES ('9001', 1, '');
INSERT INTO TEXT_LANG (RES_ID, LANGID, TEXT, TIPS) VALUES
  ('9001', 3, '摄影棚选用 D750 拍摄产品图。', ''),
  ('9001', 1, 'The studio shoots its product pictures with the D750.', '');

-- The camera carries the CCC certificate group of the company sample.
INSERT INTO PROD_CERTGROUP (PRODUCT_ID, CERTGROUP_ID) VALUES ('10000000001', '303');

-- The second report has no pictures and stays off the report tab.
INSERT INTO PROD_REPORT (REPORT_ID, PRODUCT_ID, SORT) VALUES
  ('7201', '10000000001', 1),
  ('7202', '10000000001', 2);
INSERT INTO PROD_REPORT_LANG (REPORT_ID, LANGID, NAME, "DESC") VALUES
  ('7201', 3, '图像质量检测报告', '高感光度噪点与动态范围'),
  ('7202', 3, '电池续航检测报告', ''),
  ('7201', 1, 'Image quality report', 'High-ISO noise and dynamic range'),
  ('7202', 1, 'Battery life report', '');
INSERT INTO REPORT_RESOURCE (REPORT_ID, RES_ID, PRODUCT_ID) VALUES
  ('7201', '7121', '10000000001'),
  ('7201', '7122', '10000000001');

-- Case 204 has a picture, a video and a text; the camera also shows the
-- metro case of the company sample.
INSERT INTO PRODUCT_CASE (CASE_ID, SORT, LASTTIME) VALUES ('204', 4, 1700000000000);
INSERT INTO PRODUCT_CASE_LANG (CASE_ID, LANGID, NAME, "DESC") VALUES
  ('204', 3, '商业摄影棚', 'Product photography studio'),
  ('204', 1, 'Commercial studio', 'Product photography studio');
INSERT INTO CASE_RESOURCE (CASE_ID, RES_ID, RES_TYPE) VALUES
  ('204', '7131', 1),
  ('204', '8002', 2),
  ('204', '9001', 6);
INSERT INTO PROD_PRODCASE (PRODUCT_ID, CASE_ID) VALUES
  ('10000000001', '201'),
  ('10000000001', '204');

INSERT INTO PRODUCT_CASE_RES_TYPE (RES_TYPE, NAME) VALUES (1, '图片'), (2, '视频'), (6, '文字');
