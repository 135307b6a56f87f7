total: 18
1: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000012345','Ivanov','Title','1985','5-0000-0','1000','200 p.','kn','ab','f1',1250,'k')
1: insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'0000012345','Press','Place')
2: rejected
3: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000001','Пушкин А. С.','Евгений Онегин','1978',null,'100000','350 с.','книга','аб','осн',120,'k')
3: insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'0000000001','Художественная литература','Москва')
4: empty
5: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000002','Толстой, Л. Н.','''Война и мир''','1980',null,null,null,null,null,null,300,'k')
6: rejected
7: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000007',null,null,null,null,null,null,null,null,null,0,'k')
8: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000012','Заглавие с пробелами',null,null,null,null,null,null,null,null,0,'k')
9: rejected
10: rejected
11: rejected
12: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000003','"a','b"',null,null,null,null,null,null,null,0,'k')
12: insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'0000000003',null,'c')
13: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000004','A','B',null,null,null,null,null,null,null,1250,'k')
14: rejected
15: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000006',null,null,null,null,null,null,null,null,null,2147483647,'k')
16: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000007','Tab\x09here','LF\x0ain',null,null,null,null,null,null,null,0,'k')
17: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000008','x',null,null,null,null,null,null,null,null,0,'k')
18: empty
