total: 5
1: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',1,'''','''''','''''''','''''''''',null,null,null,null)
2: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',2,'''a','a''','''a''''','''''a''''',null,null,null,null)
3: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',3,'x'', (select pass from users))--','''||''',null,null,null,null,null,null)
4: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',4,'''','''''',''' ''','''a''',null,null,null,null)
5: insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) values(gen_id(nnreaders,1),'y',5,'''"a"''','''''''''''''',null,null,null,null,null,null)
