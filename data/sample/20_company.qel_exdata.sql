-- Sample about information, company texts, banners, cases and
-- certificates. Language 3 is the one the client reads; language 1 rows
-- carry the English texts.

INSERT OR REPLACE INTO COMPANY (ID, SERIALID, COMTEMP, COMPANYHOMEPIC, VIDEOURL, VIDEOTHUMBNAIL,
  COMPANYHOMEPHONEPIC, VIDEOURLPHONE, VIDEOTHUMBNAILPHONE, COMPANYHOMEPADPIC, VIDEOURLPAD,
  VIDEOTHUMBNAILPAD, COMPANYLOGOPIC, QQ, HOTLINE, QRCODE_IMAGE_RES)
VALUES ('10001', 'S10001', '3', 'company/home.jpg', 'company/intro.mp4', 'company/intro.jpg',
  'company/home_phone.jpg', 'company/intro_phone.mp4', 'company/intro_phone.jpg',
  'company/home_pad.jpg', 'company/intro_pad.mp4', 'company/intro_pad.jpg',
  'company/logo.png', '800012345', '400-800-1234', 'company/qrcode.png');

INSERT INTO COMPANY_LANG (ID, LANGID, NAME, SITEURL) VALUES
  ('10001', 3, '示例电气有限公司', 'http://www.example.com'),
  ('10001', 1, 'Example Electric Co., Ltd.', 'http://www.example.com/en');

INSERT INTO ABOUT_QEL (ID, QELLOGO, URL, TEL, MAIL, HELPURL, PASSWORDURL) VALUES
  ('1', 'about/logo.png', 'http://www.example.com', '400-800-1234', 'service@example.com',
   'http://www.example.com/help', 'http://www.example.com/password');
INSERT INTO ABOUT_QEL_LANG (ID, LANGID, NAME) VALUES
  ('1', 3, '产品目录客户端'),
  ('1', 1, 'Catalogue client');

INSERT INTO BANNER (BANNER_ID, ISSHOW, TYPE, SORT) VALUES
  ('1', 1, 1, 1),
  ('2', 1, 2, 2),
  ('3', 1, 3, 3);
INSERT INTO BANNER_LANG (BANNER_ID, LANGID, ICON, NAME) VALUES
  ('1', 3, 'banner/products.png', '产品中心'),
  ('2', 3, 'banner/cases.png', '工程案例'),
  ('3', 3, 'banner/about.png', '关于我们'),
  ('1', 1, 'banner/products.png', 'Products'),
  ('2', 1, 'banner/cases.png', 'Cases'),
  ('3', 1, 'banner/about.png', 'About us');

INSERT INTO BANNER_CATEGORY (BANNDERCATE_ID, BANNER_ID, ISSHOW, SORT, STATUS, LASTTIME) VALUES
  ('11', '1', 1, 1, 1, 1700000000000),
  ('12', '1', 1, 2, 1, 1700000000000),
  ('31', '3', 1, 1, 1, 1700000000000);
INSERT INTO BANNER_CATEGORY_LANG (BANNDERCATE_ID, LANGID, NAME, "DESC", CONTENT, TIPS) VALUES
  ('11', 3, '新品推荐', 'New products of this season', '本季新品', ''),
  ('12', 3, '热销产品', 'Best sellers', '热销', ''),
  ('31', 3, '企业简介', 'Company profile', '成立于二〇〇一年', ''),
  ('11', 1, 'New products', 'New products of this season', 'New this season', ''),
  ('12', 1, 'Best sellers', 'Best sellers', 'Best sellers', ''),
  ('31', 1, 'Profile', 'Company profile', 'Founded in 2001', '');

INSERT INTO PRODUCT_CASE (CASE_ID, SORT, LASTTIME) VALUES
  ('201', 1, 1700000000000),
  ('202', 2, 1700000000000),
  ('203', 3, 1700000000000);
INSERT INTO PRODUCT_CASE_LANG (CASE_ID, LANGID, NAME, "DESC") VALUES
  ('201', 3, '地铁配电工程', 'Power distribution of a metro line'),
  ('202', 3, '数据中心改造', 'Data centre refit'),
  ('203', 3, '工业园区照明', 'Lighting of an industrial park'),
  ('201', 1, 'Metro power distribution', 'Power distribution of a metro line'),
  ('202', 1, 'Data centre refit', 'Data centre refit'),
  ('203', 1, 'Industrial park lighting', 'Lighting of an industrial park');
INSERT INTO COM_CASES (CASE_ID, PROD_CASE_STATUS) VALUES
  ('201', 1),
  ('202', 1),
  ('203', 0);
INSERT INTO CASE_RESOURCE (CASE_ID, RES_ID, RES_TYPE) VALUES
  ('201', '5001', 1),
  ('201', '5002', 1),
  ('202', '5003', 1);

INSERT INTO CERT_CATEGORY (CERT_CATEGORY_ID, BEUSE, SORT) VALUES
  ('1', 1, 1),
  ('2', 1, 2);
INSERT INTO CERT_CATEGORY_LANG (CERT_CATEGORY_ID, LANGID, NAME, "DESC", TIPS) VALUES
  ('1', 3, '体系认证', 'Management system certificates', ''),
  ('2', 3, '产品认证', 'Product certificates', ''),
  ('1', 1, 'Management systems', 'Management system certificates', ''),
  ('2', 1, 'Products', 'Product certificates', '');

INSERT INTO CERTGROUP (CERTGROUP_ID, SORT, LASTTIME) VALUES
  ('301', 1, 1700000000000),
  ('302', 2, 1700000000000),
  ('303', 1, NULL);
INSERT INTO CERTGROUP_LANG (CERTGROUP_ID, LANGID, NAME, ORGANIZATION, ISSUETIME, TOPIMG, "DESC") VALUES
  ('301', 3, 'ISO 9001 质量管理体系', '示例认证中心', '2021-05-01', '6001', 'Quality management'),
  ('302', 3, 'ISO 14001 环境管理体系', '示例认证中心', '2022-03-15', '6003', 'Environmental management'),
  ('303', 3, 'CCC 强制性产品认证', 'China Quality Certification Centre', '2020-11-20', '6004', 'Compulsory product certificate'),
  ('301', 1, 'ISO 9001 quality management', 'Example certification centre', '2021-05-01', '6001', 'Quality management'),
  ('302', 1, 'ISO 14001 environmental management', 'Example certification centre', '2022-03-15', '6003', 'Environmental management'),
  ('303', 1, 'CCC compulsory certificate', 'China Quality Certification Centre', '2020-11-20', '6004', 'Compulsory product certificate');
INSERT INTO CERTGROUP_CERTCATEGORY (CERTGROUP_ID, CERT_CATEGORY_ID) VALUES
  ('301', '1'),
  ('302', '1'),
  ('303', '2');
INSERT INTO CERTGROUP_RESOURCE (CERTGROUP_ID, RES_ID) VALUES
  ('301', '6001'),
  ('301', '6002'),
  ('302', '6003'),
  ('303', '6004');

INSERT INTO PICTURE (RES_ID, PATH, STATUS, EXTS, THUMB1, THUMB2, IMG, GROUP_ID) VALUES
  ('5001', 'case/metro_1.jpg', 1, '.jpg', 'case/metro_1_s.jpg', 'case/metro_1_m.jpg', 'case/metro_1.jpg', ''),
  ('5002', 'case/metro_2.jpg', 1, '.jpg', 'case/metro_2_s.jpg', 'case/metro_2_m.jpg', 'case/metro_2.jpg', ''),
  ('5003', 'case/datacentre.jpg', 1, '.jpg', 'case/datacentre_s.jpg', 'case/datacentre_m.jpg', 'case/datacentre.jpg', ''),
  ('6001', 'cert/iso9001_1.jpg', 1, '.jpg', 'cert/iso9001_1_s.jpg', 'cert/iso9001_1_m.jpg', 'cert/iso9001_1.jpg', ''),
  ('6002', 'cert/iso9001_2.jpg', 1, '.jpg', 'cert/iso9001_2_s.jpg', 'cert/iso9001_2_m.jpg', 'cert/iso9001_2.jpg', ''),
  ('6003', 'cert/iso14001.jpg', 1, '.jpg', 'cert/iso14001_s.jpg', 'cert/iso14001_m.jpg', 'cert/iso14001.jpg', ''),
  ('6004', 'cert/ccc.jpg', 1, '.jpg', 'cert/ccc_s.jpg', 'cert/ccc_m.jpg', 'cert/ccc.jpg', '');
INSERT INTO PICTURE_LANG (RES_ID, LANGID, NAME, "DESC", TIPS) VALUES
  ('5001', 3, '地铁配电室', 'Switch room', ''),
  ('5002', 3, '地铁站台', 'Platform', ''),
  ('5003', 3, '机房', 'Server room', ''),
  ('6001', 3, '证书正本', 'Certificate', ''),
  ('6002', 3, '证书副本', 'Certificate copy', ''),
  ('6003', 3, '证书', 'Certificate', ''),
  ('6004', 3, '证书', 'Certificate', ''),
  ('5001', 1, 'Switch room', 'Switch room', ''),
  ('5002', 1, 'Platform', 'Platform', ''),
  ('5003', 1, 'Server room', 'Server room', ''),
  ('6001', 1, 'Certificate', 'Certificate', ''),
  ('6002', 1, 'Certificate copy', 'Certificate copy', ''),
  ('6003', 1, 'Certificate', 'Certificate', ''),
  ('6004', 1, 'Certificate', 'Certificate', '');
