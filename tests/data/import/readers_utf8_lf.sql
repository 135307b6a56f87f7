total: 4
1: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',101,'Иванова','Мария','Школа № 12','учитель','23-45-67','ул. Ленина, д. 5',null,null)
2: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',102,'Петров','Алексей','Завод «Маяк»','инженер',null,null,null,'примечание — «ё»')
3: rejected, not in Windows-1251
4: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',104,'О''Коннор','Патрик',null,null,null,null,null,null)
