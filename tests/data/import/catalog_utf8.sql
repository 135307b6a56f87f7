total: 4
1: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000001','Пушкин А. С.','Евгений Онегин','1985','5-280-00001-1','100 000','352 с.','книга','Абонемент','основной',125050,'k')
1: insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'0000000001','Художественная литература','Москва')
2: rejected, not in Windows-1251
3: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000003','Дюма А.','Три мушкетёра (д''Артаньян)','1979',null,null,null,null,null,null,1250,'k')
3: insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'0000000003','Правда','Москва')
4: insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet) values(gen_id(nncatalog,1),'e','m','0000000004',null,'Журнал «Наука и жизнь» № 5 — €','1990',null,null,null,null,null,null,0,'k')
