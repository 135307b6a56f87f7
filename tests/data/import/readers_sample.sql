total: 9
1: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',1,'Иванов','Иван','Школа № 5','учитель','123-45-67','ул. Ленина, 1','765-43-21','должник')
2: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',007,'Петров',null,null,null,null,null,null,null)
3: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',-7,'Сидорова','Анна',null,null,null,null,null,null)
4: rejected
5: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',2,'O''Connor','''Шон''',null,null,null,null,null,'примечание')
6: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',12345678901,'Big',null,null,null,null,null,null,null)
7: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',3,'x'')','delete from users','--',null,null,null,null,null)
8: empty
9: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',4,'Last',null,null,null,null,null,null,null)
